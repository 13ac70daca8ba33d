// The pipe that carries a launch's standard output and standard error to
// the log, with the thread that copies it: small, event-driven (it sleeps in
// its read) and apart from the supervision loop. The program's standard
// input is a pipe too, which tavi holds open and never writes: a program
// reading it waits, as at an idle console, and never sees its end.
#ifndef TAVI_SERVICE_LOG_PIPE_H
#define TAVI_SERVICE_LOG_PIPE_H

#include <windows.h>

struct LogPipe {
    HANDLE child[2]; // the program's standard input and output, inheritable
    HANDLE read;     // tavi's end of the output pipe
    HANDLE thread;   // the copy thread, until the pipe is drained
    HANDLE peek;     // a handle of tavi's end, to look into the pipe
};

// Makes the pipes for one launch; 0 with the platform's error set.
int OpenLogPipe(LogPipe *pipe);
// After the launch: closes tavi's copy of the program's end and starts the
// copy thread, or, when the launch failed (started 0), closes everything.
void StartLogCopy(LogPipe *pipe, int started);
// After the program's end: returns once all it wrote is in the log. That
// is when the pipe closes, or, while a process the program started holds
// it open, once the pipe stays empty (bounded: such a process must not hold
// the relaunch or the stop). That process's output goes on into the log.
void DrainLogPipe(LogPipe *pipe);
// At the service's end, once the job has ended every process: waits
// (bounded) for the copy threads to read their pipes to the end, then
// closes the standard input.
void FinishLogPipes(void);

#endif
