// The pauses before relaunches of a program that keeps ending quickly.
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

#endif
