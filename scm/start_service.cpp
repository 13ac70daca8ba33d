// Asks the SCM to start the service named in gSettings and waits for the
// outcome: the host reports START_PENDING until its program runs, and stops
// with the launch's error when the program cannot be started.
#include "scm/scm_ops.h"
#include "scm/scm_handle.h"
#include "settings/service_settings.h"

// How often the state is read while the service starts.
static const DWORD kStartPollMs = 100;
// However its check points grow, a start is not awaited longer than this.
static const DWORD kStartWaitMostMs = 60000;

// Waits while the service reports START_PENDING and its check point grows
// within the wait hint; 1 when it left that state started.
static int AwaitStart(SC_HANDLE service)
{
    SERVICE_STATUS status;
    DWORD start = GetTickCount(), changed = start, checkPoint = 0;
    for (;;) {
        if (!QueryServiceStatus(service, &status))
            return 0;
        if (status.dwCurrentState != SERVICE_START_PENDING)
            break;
        DWORD now = GetTickCount();
        if (status.dwCheckPoint != checkPoint) {
            checkPoint = status.dwCheckPoint;
            changed = now;
        }
        if (now - changed > status.dwWaitHint || now - start > kStartWaitMostMs)
            return 0;
        Sleep(kStartPollMs);
    }
    // A program that ran and ended at once stops the service with 0 or with
    // its own code (1066): that start worked. Any other code is the launch's
    // or tavi's own failure.
    if (status.dwCurrentState == SERVICE_STOPPED)
        return status.dwWin32ExitCode == NO_ERROR ||
               status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR;
    return 1;
}

int StartWrappedService(void)
{
    WrappedServiceHandles handles;
    return handles && StartServiceA(handles.service.get(), 0, NULL) &&
           AwaitStart(handles.service.get());
}
