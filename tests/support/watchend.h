#pragma once

class QProcess;

// Ends a running `valmora-ctl watch` as a service manager does, and says
// whether it ended cleanly. Windows has no such signal: there it is killed,
// and only its end counts.
bool endWatch(QProcess &watch);
