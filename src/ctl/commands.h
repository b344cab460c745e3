#pragma once

#include "ctl/ctlcommandline.h"

// Carries out one request of the command line and returns the exit status
// (see exitcode.h). Prints results on standard output and every failure as
// one line on standard error, with nothing on standard output then.
int runCommand(const CtlRequest &request);
