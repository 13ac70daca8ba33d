// The service road of a start that cannot run at all: the service control
// manager is told at once that the service stopped, and why.
#ifndef TAVI_SERVICE_REFUSED_START_H
#define TAVI_SERVICE_REFUSED_START_H

#include <windows.h>

// Connects to the dispatcher and reports SERVICE_STOPPED with error as the
// exit code. Returns FALSE at once when the process was not started by the
// service control manager (the dispatcher cannot connect).
BOOL RunRefusingDispatcher(DWORD error);

#endif
