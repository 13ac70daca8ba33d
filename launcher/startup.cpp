// The start-up sequence: paths, command line, probe, then exactly one road.
#include "launcher/startup.h"
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/messages.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "service/service_host.h"

HINSTANCE gInstance;
ProgramPaths gPaths;

// Fills gPaths; returns 0 when the executable's folder is too long for the
// settings path (or the module path itself was cut), so that the program
// would read and write another file than tavi.ini beside itself.
static int ComputePaths(void)
{
    DWORD length = GetModuleFileNameA(NULL, gPaths.modulePath, TEXT_SIZE);
    if (length == 0 || length >= TEXT_SIZE)
        return 0;
    CopyText(gPaths.moduleDir, TEXT_SIZE, gPaths.modulePath);
    CutAtLastBackslash(gPaths.moduleDir);
    CopyText(gPaths.settingsPath, TEXT_SIZE, gPaths.moduleDir);
    return AppendText(gPaths.settingsPath, TEXT_SIZE, "\\tavi.ini");
}

int TaviMain(HINSTANCE instance, const char *tail)
{
    gInstance = instance;
    if (!ComputePaths()) {
        ShowMessage(NULL, IDS_PATH_TOO_LONG, NULL, kErrorCaption, MB_OK);
        return EXIT_INVALID;
    }
    ParseCommandLine(tail);
    int launchedByScm = ProbeService();
    if (!gProbe.isNt) {
        ShowMessage(NULL, IDS_NOT_NT, NULL, kErrorCaption, MB_OK);
        return EXIT_DONE;
    }
    if (launchedByScm) {
        if (AcquireInstanceMutex())
            return EXIT_DONE;
        RunServiceDispatcher();
        return EXIT_DONE;
    }
    if (gFlags.install)
        return RunInstallRoad();
    if (gFlags.uninstall)
        return RunUninstallRoad();
    return RunWindowRoad();
}
