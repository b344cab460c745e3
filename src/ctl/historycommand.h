#pragma once

#include "ctl/ctlcommandline.h"

class ServerStore;

// valmora-ctl history: reads history.sqlite beside the settings file and
// prints all servers at a glance, or one server's steps, as a table, JSON
// or CSV; with --svg also writes the server's plot. A missing file is an
// empty history; a damaged one is reported and left as it is (ExitStore),
// as is a server neither stored nor in the history. `store` has been read
// already.
int runHistory(const CtlRequest &request, const ServerStore &store);
