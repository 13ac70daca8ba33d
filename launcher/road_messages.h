// The command-line roads' messages: no owner window, errors silenced by
// /no_error, successes shown only with /ok.
#ifndef TAVI_LAUNCHER_ROAD_MESSAGES_H
#define TAVI_LAUNCHER_ROAD_MESSAGES_H

#include <windows.h>

void ReportRoadError(UINT id, const char *argument);
void ReportRoadSuccess(UINT id);

#endif
