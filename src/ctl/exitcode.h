#pragma once

// What valmora-ctl's exit status tells a script.
enum ExitCode : int {
    ExitDone = 0, // for status: the server runs
    ExitNotRunning = 1, // status only: off, starting or undetermined
    ExitUsage = 2, // a mistake on the command line
    ExitService = 3, // the service not reached, not trusted, too slow, or its reply unusable
    ExitStore = 4, // no such server, its key unreadable, or the settings file unusable
};
