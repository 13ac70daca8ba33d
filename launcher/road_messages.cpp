// See road_messages.h.
#include "launcher/road_messages.h"
#include "launcher/command_line.h"
#include "launcher/messages.h"

void ReportRoadError(UINT id, const char *argument)
{
    if (!gFlags.no_error)
        ShowMessage(NULL, id, argument, kErrorCaption, MB_OK);
}

void ReportRoadSuccess(UINT id)
{
    if (gFlags.ok)
        ShowMessage(NULL, id, gSettings.name, kCaption, MB_OK);
}
