// The road of an executable whose own path is too long for tavi.ini beside
// it: its settings cannot be read, so nothing is carried out. Only the
// command line's flags and the probe's directory comparison choose how to
// refuse; no file is read or written, and the service control manager is
// neither asked nor changed (the probe, which stops a service, is not run).
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/road_messages.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "service/refused_start.h"

int RunLongPathRoad(const char *tail)
{
    CollectedValues values;
    ScanCommandLine(tail, &gFlags, &values);
    if (!gFlags.install && !gFlags.uninstall && !ModuleDirIsCurrent()) {
        // Taken for the service control manager's start, where nobody could
        // answer a message box and the start would hang until the manager
        // gave up: report the service stopped with the reason instead. A
        // start by a person elsewhere ends here, as the dispatcher cannot
        // connect.
        RunRefusingDispatcher(ERROR_FILENAME_EXCED_RANGE);
        return EXIT_INVALID;
    }
    ReportRoadError(IDS_PATH_TOO_LONG, NULL);
    return EXIT_INVALID;
}
