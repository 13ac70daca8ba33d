// A dispatcher whose service main routine only reports the service stopped
// with an error code. It needs no settings: a service of its own process is
// found whatever name the table and the handler give, so the empty name
// serves when tavi.ini cannot be read. Nothing is shown, since nobody could
// answer a message box on the service's desktop, and nothing is started.
#include "service/refused_start.h"
#include "service/event_log.h"
#include "service/service_host.h"

static DWORD gRefusal;

static void WINAPI IgnoreControl(DWORD)
{
}

static void WINAPI RefusedServiceMain(DWORD argc, LPSTR *argv)
{
    // The service control manager gives the service's name, which the event
    // source bears.
    if (argc > 0)
        ReportStartRefused(argv[0], gRefusal);
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA("", IgnoreControl);
    if (handle == NULL)
        return;
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = gRefusal;
    SetServiceStatus(handle, &status);
}

BOOL RunRefusingDispatcher(DWORD error)
{
    char name[] = "";
    gRefusal = error;
    return StartDispatcherFor(name, RefusedServiceMain);
}
