// ServiceMain supervises the child and relaunches it; the control handler,
// on the dispatcher's thread, turns stop and shutdown into a stop request.
// The host does not wait for the child after a stop: once it has reported
// SERVICE_STOPPED the dispatcher returns and the process ends.
#include "service/service_host.h"
#include "service/child_process.h"
#include "settings/service_settings.h"

RuntimeState gRuntime;

// How long the handler waits for a launch under way to store its child's id.
static const DWORD kLaunchWaitMs = 2000;
static const DWORD kPollMs = 100;

BOOL ReportServiceStatus(DWORD state, DWORD exitCode, DWORD checkPoint)
{
    SERVICE_STATUS status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = 3000;
    return SetServiceStatus(gRuntime.statusHandle, &status);
}

BOOL RunServiceDispatcher(void)
{
    SERVICE_TABLE_ENTRYA table[2];
    table[0].lpServiceName = gSettings.name;
    table[0].lpServiceProc = ServiceMain;
    table[1].lpServiceName = NULL;
    table[1].lpServiceProc = NULL;
    return StartServiceCtrlDispatcherA(table);
}

// Starts a child unless a stop has come; returns the launch's error code, or
// 0 when the child runs or the start was skipped for a stop (child zeroed).
static DWORD LaunchUnlessStopping(PROCESS_INFORMATION *child)
{
    DWORD error = 0;
    ZeroMemory(child, sizeof *child);
    gRuntime.launching = 1;
    if (!gRuntime.stopping) {
        if (LaunchChild(gSettings.exe, gSettings.option, gSettings.end, child))
            gRuntime.childPid = child->dwProcessId;
        else
            error = GetLastError();
    }
    gRuntime.launching = 0;
    return error;
}

void WINAPI ServiceMain(DWORD, LPSTR *)
{
    gRuntime.statusHandle = RegisterServiceCtrlHandlerA(gSettings.name, ServiceControlHandler);
    if (gRuntime.statusHandle == NULL)
        return;
    ReportServiceStatus(SERVICE_START_PENDING, 0, 1);
    ReportServiceStatus(SERVICE_RUNNING, 0, 0);

    PROCESS_INFORMATION child;
    // A failed start is reported with its error code, so that the SCM
    // records the failure and runs its recovery actions.
    DWORD error = LaunchUnlessStopping(&child);
    if (child.hProcess != NULL) {
        ReportServiceStatus(SERVICE_RUNNING, 0, 0);
        for (;;) {
            if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) {
                Sleep(kPollMs);
                continue;
            }
            CloseHandle(child.hThread);
            CloseHandle(child.hProcess);
            if (!gSettings.retry || gRuntime.stopping)
                break;
            error = LaunchUnlessStopping(&child);
            if (child.hProcess == NULL)
                break;
            Sleep(kPollMs);
        }
    }
    if (gSettings.end == STOP_CTRLBREAK)
        FreeConsole();
    if (gRuntime.instanceMutex != NULL)
        CloseHandle(gRuntime.instanceMutex);
    ReportServiceStatus(SERVICE_STOPPED, error, 0);
}

void WINAPI ServiceControlHandler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN)
        return;
    gRuntime.stopping = 1;
    ReportServiceStatus(SERVICE_STOP_PENDING, 0, 1);
    // A launch under way either sees the stop and starts nothing, or stores
    // its child's id before it clears the flag: wait for that id.
    DWORD start = GetTickCount();
    while (gRuntime.launching && GetTickCount() - start < kLaunchWaitMs)
        Sleep(10);
    RequestChildStop(gSettings.end, gRuntime.childPid);
    ReportServiceStatus(SERVICE_STOPPED, 0, 0);
}
