// The command-line uninstall: confirm, then delete what the probe found.
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/messages.h"
#include "launcher/road_messages.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"

int RunUninstallRoad(void)
{
    if (gSettings.name[0] == '\0') {
        ReportRoadError(IDS_NAME_MISSING, NULL);
        return EXIT_INVALID;
    }
    if (gFlags.question &&
        ShowMessage(NULL, IDS_CONFIRM_DELETE, gSettings.name, kCaption, MB_YESNO) != IDYES)
        return EXIT_NOT_CONFIRMED;
    if (!gProbe.serviceExists) {
        ReportRoadError(IDS_NOT_REGISTERED, gSettings.name);
        return EXIT_SCM_FAILED;
    }
    if (!DeleteWrappedService()) {
        ReportRoadError(IDS_DELETE_FAILED, NULL);
        return EXIT_SCM_FAILED;
    }
    ReportRoadSuccess(IDS_DELETED);
    return EXIT_DONE;
}
