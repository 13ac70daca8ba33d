// See end_events.h.
#include "service/end_events.h"
#include "service/event_log.h"

void ReportProgramEnd(EndEvents *events, DWORD code, DWORD ranMs, int quick, DWORD pauseMs)
{
    DWORD now = GetTickCount();
    if (code != 0) {
        events->failed++;
        unsigned long covered = ReportEnd(&events->failures, now, ranMs);
        if (covered > 0)
            ReportProgramFailed(code, ranMs, events->failed, covered);
    }
    if (quick == 0)
        events->paused = events->pausedReported = 0;
    // One event for a series of pauses, not one per end; and even those
    // spaced as the ends' are, for a program that runs 10 s between series.
    if (pauseMs > 0 && !events->paused) {
        events->paused = 1;
        events->pausedReported = ReportEnd(&events->pauses, now, 0) > 0;
        if (events->pausedReported)
            ReportRelaunchesPaused(quick, pauseMs, code);
    }
}

DWORD RunsAgainWaitMs(const EndEvents *events, DWORD launchedAt)
{
    if (!events->pausedReported)
        return INFINITE;
    DWORD ran = GetTickCount() - launchedAt;
    return ran < QUICK_RUN_MS ? QUICK_RUN_MS - ran : 0;
}

void ReportRunsAgain(EndEvents *events)
{
    events->paused = events->pausedReported = 0;
    ReportProgramRunsAgain();
}
