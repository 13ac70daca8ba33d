// See relaunch_pause.h.
#include "service/relaunch_pause.h"

// Quick ends in a row that are relaunched at once: a program may fail a
// few times while what it needs comes up.
static const int kEndsWithoutPause = 3;

int NextQuickCount(int quick, unsigned ranMs)
{
    return ranMs < QUICK_RUN_MS ? quick + 1 : 0;
}

unsigned long ReportEnd(EndReports *reports, unsigned nowMs, unsigned ranMs)
{
    if (reports->gapMs == 0 || ranMs >= reports->gapMs) {
        reports->gapMs = REPORT_GAP_FIRST_MS;
    } else if (nowMs - reports->lastMs >= reports->gapMs) {
        unsigned doubled = reports->gapMs * 2;
        reports->gapMs = doubled < REPORT_GAP_LAST_MS ? doubled : (unsigned)REPORT_GAP_LAST_MS;
    } else {
        reports->unreported++;
        return 0;
    }
    unsigned long covered = reports->unreported + 1;
    reports->unreported = 0;
    reports->lastMs = nowMs;
    return covered;
}

unsigned RelaunchPauseMs(int quick, int retrymax)
{
    if (quick <= kEndsWithoutPause || retrymax <= 0)
        return 0;
    // 2^12 s passes any retrymax (at most 3600), and the shift stays small.
    int doublings = quick - kEndsWithoutPause - 1;
    unsigned seconds = doublings >= 12 ? 4096u : 1u << doublings;
    if (seconds > (unsigned)retrymax)
        seconds = (unsigned)retrymax;
    return seconds * 1000u;
}
