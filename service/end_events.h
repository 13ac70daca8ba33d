// What the event log is told of the program's ends, a handful an hour at
// the most however fast the program fails (relaunch_pause.h decides which).
#ifndef TAVI_SERVICE_END_EVENTS_H
#define TAVI_SERVICE_END_EVENTS_H

#include <windows.h>

#include "service/relaunch_pause.h"

struct EndEvents {
    EndReports failures;  // ends with an error code
    EndReports pauses;    // series of paused relaunches
    unsigned long failed; // ends with an error code since the service started
    int paused;           // 1 in a series of paused relaunches
    int pausedReported;   // 1 when that series was reported
};

// An end of a run of ranMs with code, after which quick ends are in a row
// and the relaunch waits pauseMs (both 0 without a relaunch).
void ReportProgramEnd(EndEvents *events, DWORD code, DWORD ranMs, int quick, DWORD pauseMs);
// How long the run launched at launchedAt may go on before it has run long
// enough to end a reported series of pauses; INFINITE when none is to end.
DWORD RunsAgainWaitMs(const EndEvents *events, DWORD launchedAt);
// The run has lasted that long: the series ends, and the log is told.
void ReportRunsAgain(EndEvents *events);

#endif
