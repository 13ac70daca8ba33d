// The end of the service's child: the job object that holds it and what it
// starts, and the wait after a stop request with its bound.
#ifndef TAVI_SERVICE_END_CHILD_H
#define TAVI_SERVICE_END_CHILD_H

#include <windows.h>

// A job that ends its processes when its last handle closes, with the host
// itself in it when the platform allows (before Windows 8 a host already in
// a job cannot join another; *hostInJob is 0 then): every child is then born
// in the job, so that a host that dies, however and whenever it dies, takes
// its child and the child's own children with it. NULL when none is made.
HANDLE CreateHostJob(int *hostInJob);
// Ends every process of the job but the host, with code, and waits for each.
void EndJobProcesses(HANDLE job, DWORD code);
// Waits for the child's end after the stop request, reporting STOP_PENDING
// with a growing check point. Returns the service's exit code: 0 when the
// child ended (whatever its own code: it was asked to end), ERROR_TIMEOUT
// when it had to be ended at the bound, with every process of the job.
DWORD AwaitChildAfterStop(HANDLE process, HANDLE job);

#endif
