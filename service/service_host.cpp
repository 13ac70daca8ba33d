// The service shell: status reports, the dispatcher, and the control handler
// that, on the dispatcher's thread, turns stop, preshutdown and shutdown
// into a stop request. Supervising the child and ending it is ServiceMain's work
// (service_main.cpp); the handler never reports SERVICE_STOPPED.
#include "service/service_host.h"
#include "service/child_process.h"
#include "service/log_file.h"
#include "settings/service_settings.h"

RuntimeState gRuntime;

// How long the handler waits for a launch under way to store its child's id.
static const DWORD kLaunchWaitMs = 2000;

BOOL ReportServiceStatus(DWORD state, DWORD exitCode, DWORD checkPoint, DWORD specificExitCode)
{
    SERVICE_STATUS status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    // Windows Vista and later wait for a service that takes the preshutdown
    // control as long as its registration says; at the shutdown control
    // they give it only a few seconds.
    if (LOBYTE(LOWORD(GetVersion())) >= 6)
        status.dwControlsAccepted |= SERVICE_ACCEPT_PRESHUTDOWN;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = specificExitCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = 3000;
    return SetServiceStatus(gRuntime.statusHandle, &status);
}

BOOL RunServiceDispatcher(void)
{
    // Created and closed here, around the only thread that sets it (the
    // handler runs inside the dispatcher call), so no one touches it closed.
    gRuntime.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (gRuntime.stopEvent == NULL)
        return FALSE;
    BOOL result = StartDispatcherFor(gSettings.name, ServiceMain);
    CloseHandle(gRuntime.stopEvent);
    return result;
}

BOOL StartDispatcherFor(char *name, LPSERVICE_MAIN_FUNCTIONA main)
{
    SERVICE_TABLE_ENTRYA table[2];
    table[0].lpServiceName = name;
    table[0].lpServiceProc = main;
    table[1].lpServiceName = NULL;
    table[1].lpServiceProc = NULL;
    return StartServiceCtrlDispatcherA(table);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, void *, void *)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN &&
        control != SERVICE_CONTROL_PRESHUTDOWN)
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    // Set already: a stop under way, or the service is stopping by itself.
    if (gRuntime.stopping.exchange(1))
        return NO_ERROR;
    ReportServiceStatus(SERVICE_STOP_PENDING, 0, 1);
    // A launch under way either sees the stop and starts nothing, or stores
    // its child's id before it clears the flag: wait for that id.
    DWORD start = GetTickCount();
    while (gRuntime.launching && GetTickCount() - start < kLaunchWaitMs)
        Sleep(10);
    LogEvent("stop request method=%s pid=%lu", StopMethodName(gSettings.end),
             (unsigned long)gRuntime.childPid);
    RequestChildStop(gSettings.end, gRuntime.childPid);
    SetEvent(gRuntime.stopEvent);
    return NO_ERROR;
}
