// See end_child.h.
#include "service/end_child.h"
#include "service/service_host.h"
#include "settings/service_settings.h"
// STOP_PENDING's check point grows at least this often (wait hint 3000).
static const DWORD kStopReportMs = 1000;
// How long the host waits for the child it has ended to be gone.
static const DWORD kTerminateWaitMs = 5000;

void EndJobWithHost(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

DWORD AwaitChildAfterStop(HANDLE process, HANDLE job)
{
    // A child still running stoptime seconds after the request is ended.
    DWORD start = GetTickCount(), bound = (DWORD)gSettings.stoptime * 1000;
    DWORD checkPoint = 1; // the handler reported 1 with the request
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= bound)
            break;
        ReportServiceStatus(SERVICE_STOP_PENDING, 0, ++checkPoint);
        DWORD left = bound - elapsed;
        if (WaitForSingleObject(process, left < kStopReportMs ? left : kStopReportMs) !=
            WAIT_TIMEOUT)
            return 0;
    }
    if (job != NULL)
        TerminateJobObject(job, ERROR_TIMEOUT);
    // Also for a child that the platform would not put in the job.
    TerminateProcess(process, ERROR_TIMEOUT);
    WaitForSingleObject(process, kTerminateWaitMs);
    return ERROR_TIMEOUT;
}
