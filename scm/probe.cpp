// The start-up probe: platform, launch kind, and the state of an existing
// service of the configured name, which it reads back and, for the window,
// asks to stop.
#include "scm/scm_ops.h"
#include "scm/scm_handle.h"
#include "launcher/command_line.h"
#include "launcher/messages.h"
#include "settings/program_paths.h"
#include "resources/resource.h"

ProbeResult gProbe;

// Start type and interactive flag of the registration replace ours.
static void ReadBackRegistration(SC_HANDLE service)
{
    DWORD needed = 0;
    QueryServiceConfigA(service, NULL, 0, &needed);
    QUERY_SERVICE_CONFIGA *config = (QUERY_SERVICE_CONFIGA *)LocalAlloc(LPTR, needed);
    if (config == NULL)
        return;
    // A failed read leaves the zeroed record: auto_ stays, desktop becomes 0.
    QueryServiceConfigA(service, config, needed, &needed);
    if (config->dwStartType == SERVICE_AUTO_START)
        gSettings.auto_ = 1;
    else if (config->dwStartType == SERVICE_DEMAND_START)
        gSettings.auto_ = 0;
    gSettings.desktop = (config->dwServiceType & SERVICE_INTERACTIVE_PROCESS) ? 1 : 0;
    LocalFree(config);
}

static void StopExistingService(SC_HANDLE service)
{
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) {
        ShowMessage(NULL, IDS_CANNOT_STOP, NULL, kErrorCaption, MB_OK);
        return;
    }
    if (status.dwCurrentState != SERVICE_STOPPED)
        gProbe.wasRunning = 1;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    Sleep(500);
}

int ModuleDirIsCurrent(void)
{
    char current[TEXT_SIZE];
    DWORD length = GetCurrentDirectoryA(TEXT_SIZE, current);
    // A directory too long for the buffer leaves it unwritten: it differs.
    return length != 0 && length < TEXT_SIZE && TextEqualI(current, gPaths.moduleDir);
}

int ProbeService(void)
{
    gProbe.isNt = 0;
    gProbe.serviceExists = 0;
    gProbe.wasRunning = 0;
    gProbe.launchedByScm = 0;

    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    gProbe.isNt = 1;

    if (!ModuleDirIsCurrent()) {
        SetCurrentDirectoryA(gPaths.moduleDir);
        // The SCM starts the service without arguments: /install or
        // /uninstall typed in another folder is a person's request, which
        // must not end silently as a failed service start.
        if (!gFlags.install && !gFlags.uninstall) {
            gProbe.launchedByScm = 1;
            return 1;
        }
    }

    WrappedServiceHandles handles;
    if (!handles)
        return 0;
    gProbe.serviceExists = 1;
    ReadBackRegistration(handles.service.get());
    // Only the window needs the service stopped, while its settings are
    // shown; a command-line request leaves a running service running (the
    // delete stops it itself), also when it is refused or answered No.
    if (!gFlags.install && !gFlags.uninstall)
        StopExistingService(handles.service.get());
    return 0;
}
