// The service face: the single-instance guard, the dispatcher, the service
// main routine with its supervision loop, and the control handler.
#ifndef TAVI_SERVICE_SERVICE_HOST_H
#define TAVI_SERVICE_SERVICE_HOST_H

#include <windows.h>
#include <atomic>

// Shared by the main thread (control handler) and the service thread; each
// field is read and written atomically.
struct RuntimeState {
    std::atomic<SERVICE_STATUS_HANDLE> statusHandle;
    // Who ends the service: the control handler sets it on a stop, the
    // service thread when it stops by itself. Set by an exchange, so that
    // exactly one of the two sees it clear and the other stands aside.
    std::atomic<int> stopping;
    std::atomic<DWORD> childPid;
    HANDLE instanceMutex;
    // Set by the service thread while it starts a child, so that a stop that
    // arrives meanwhile can wait for the new child's id instead of missing it.
    std::atomic<int> launching;
    // Manual-reset event that the control handler sets once its stop request
    // has been sent; the service thread waits on it beside the child. It
    // lives as long as the dispatcher, which creates and closes it.
    std::atomic<HANDLE> stopEvent;
};

extern RuntimeState gRuntime;

// 1 when another host of this service name runs; the process then ends.
int AcquireInstanceMutex(void);
BOOL RunServiceDispatcher(void);
// Connects to the dispatcher with a table of one service, name and main;
// FALSE at once when the process was not started by the SCM.
BOOL StartDispatcherFor(char *name, LPSERVICE_MAIN_FUNCTIONA main);
void WINAPI ServiceMain(DWORD argc, LPSTR *argv);
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD type, void *data, void *context);
BOOL ReportServiceStatus(DWORD state, DWORD exitCode, DWORD checkPoint, DWORD specificExitCode = 0);

#endif
