// See end_child.h.
#include "service/end_child.h"
#include "service/service_host.h"
#include "settings/service_settings.h"
// STOP_PENDING's check point grows at least this often (wait hint 3000).
static const DWORD kStopReportMs = 1000;
// How long the host waits for the child it has ended to be gone.
static const DWORD kTerminateWaitMs = 5000;

// At most this many processes are ended in one pass over the job; those
// past it, or started meanwhile, are found by the next pass.
static const int kJobListMost = 64;
static const int kEndPasses = 8;

HANDLE CreateHostJob(int *hostInJob)
{
    *hostInJob = 0;
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (job == NULL)
        return NULL;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    *hostInJob = AssignProcessToJobObject(job, GetCurrentProcess()) ? 1 : 0;
    return job;
}

void EndJobProcesses(HANDLE job, DWORD code)
{
    DWORD self = GetCurrentProcessId();
    for (int pass = 0; pass < kEndPasses; pass++) {
        struct {
            JOBOBJECT_BASIC_PROCESS_ID_LIST list;
            ULONG_PTR more[kJobListMost - 1];
        } ids;
        ZeroMemory(&ids, sizeof ids);
        // A list longer than the buffer fails with ERROR_MORE_DATA but is
        // filled as far as it goes.
        if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, NULL) &&
            GetLastError() != ERROR_MORE_DATA)
            return;
        int others = 0;
        for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; i++) {
            DWORD id = (DWORD)ids.list.ProcessIdList[i];
            if (id == self)
                continue;
            others++;
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (process == NULL)
                continue;
            TerminateProcess(process, code);
            WaitForSingleObject(process, kTerminateWaitMs);
            CloseHandle(process);
        }
        if (others == 0)
            return;
    }
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
    // Not TerminateJobObject: the host may be in the job itself.
    if (job != NULL)
        EndJobProcesses(job, ERROR_TIMEOUT);
    // Also for a child that the platform would not put in the job.
    TerminateProcess(process, ERROR_TIMEOUT);
    WaitForSingleObject(process, kTerminateWaitMs);
    return ERROR_TIMEOUT;
}
