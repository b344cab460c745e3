#pragma once

#include "ctl/ctlcommandline.h"

class ServerStore;

// valmora-ctl watch: reports each server's state at the start and every
// change after it, on standard output and, where asked for, through the
// --exec command and the webhook, until SIGINT or SIGTERM (on Windows:
// Ctrl+C, Ctrl+Break or a closed console), after which it returns 0. On a
// mistake found at the start it returns ExitStore at once. `store` has been
// read already; the file is never written.
int runWatch(const CtlRequest &request, ServerStore &store);
