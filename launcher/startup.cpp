// The start-up sequence: paths, command line, probe, then exactly one road.
#include "launcher/startup.h"
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/messages.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "service/service_host.h"

HINSTANCE gInstance;

// Fills gPaths; returns 0 when the module path was cut or the executable's
// folder is too long for the settings path, so that the program would read
// and write another file than tavi.ini beside itself. moduleDir is filled
// either way (from the cut path, its last whole folder), for the choice of
// how to refuse.
static int ComputePaths(void)
{
    DWORD length = GetModuleFileNameA(NULL, gPaths.modulePath, TEXT_SIZE);
    // Windows XP leaves a path cut at the buffer's size unterminated.
    gPaths.modulePath[TEXT_SIZE - 1] = '\0';
    CopyText(gPaths.moduleDir, TEXT_SIZE, gPaths.modulePath);
    CutAtLastBackslash(gPaths.moduleDir);
    CopyText(gPaths.settingsPath, TEXT_SIZE, gPaths.moduleDir);
    return length != 0 && length < TEXT_SIZE &&
           AppendText(gPaths.settingsPath, TEXT_SIZE, "\\tavi.ini");
}

int TaviMain(HINSTANCE instance, const char *tail)
{
    gInstance = instance;
    if (!ComputePaths())
        return RunLongPathRoad(tail);
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
