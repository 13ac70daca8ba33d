// The end of the service's child: the job object that holds it and what it
// starts, and the wait after a stop request with its bound.
#ifndef TAVI_SERVICE_END_CHILD_H
#define TAVI_SERVICE_END_CHILD_H

#include <windows.h>

// Sets the job to end its processes when its last handle closes, so that a
// host that dies, however it dies, takes its child and the child's own
// children with it.
void EndJobWithHost(HANDLE job);
// Waits for the child's end after the stop request, reporting STOP_PENDING
// with a growing check point. Returns the service's exit code: 0 when the
// child ended (whatever its own code: it was asked to end), ERROR_TIMEOUT
// when it had to be ended at the bound, with every process of the job.
DWORD AwaitChildAfterStop(HANDLE process, HANDLE job);

#endif
