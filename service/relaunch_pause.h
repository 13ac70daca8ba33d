// The pauses before relaunches of a program that keeps ending quickly, and
// which of its ends are reported.
// Pure: no Windows header, so it is built and tested natively too.
#ifndef TAVI_SERVICE_RELAUNCH_PAUSE_H
#define TAVI_SERVICE_RELAUNCH_PAUSE_H

// A run that ended by itself sooner than this after its launch is quick.
enum { QUICK_RUN_MS = 10000 };

// The quick ends in a row after a run of ranMs that followed quick of them:
// one more when the run was quick, none after one that lasted.
int NextQuickCount(int quick, unsigned ranMs);
// The pause in milliseconds before the relaunch that follows quick ends in
// a row: none for the first three, then 1 s, 2 s, 4 s..., doubling, never
// more than retrymax seconds; none at all when retrymax is 0.
unsigned RelaunchPauseMs(int quick, int retrymax);

// Which ends of the program reach the event log: the first, then at most
// one per gap, the gap doubling from a minute to an hour, so that a program
// that fails without end writes a handful of events an hour. A run that
// lasted as long as the gap starts afresh. Ends not reported are counted
// and told with the next report.
struct EndReports {
    unsigned long unreported; // ends since the last report
    unsigned lastMs;          // the tick of the last report
    unsigned gapMs;           // 0 before the first report
};
enum { REPORT_GAP_FIRST_MS = 60000, REPORT_GAP_LAST_MS = 3600000 };
// For an end at nowMs of a run of ranMs: 0 when it is not reported, else
// how many ends the report covers (this one and those not reported).
unsigned long ReportEnd(EndReports *reports, unsigned nowMs, unsigned ranMs);

#endif
