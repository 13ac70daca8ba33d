// ServiceMain: launches the child into a job object, waits for the child's
// end or for a stop, relaunches the child when asked to, and reports
// SERVICE_STOPPED only once the child has ended. After a stop request the
// child gets a bound; then it is ended with every process it started.
#include "service/service_host.h"
#include "service/child_process.h"
#include "service/end_child.h"
#include "settings/service_settings.h"

// The least time between two launches: a child that ends at once is started
// again about ten times a second, not as fast as processes can start.
static const DWORD kLaunchPaceMs = 100;

// Starts a child unless a stop has come; returns the launch's error code, or
// 0 when the child runs or the start was skipped for a stop (child zeroed).
static DWORD LaunchUnlessStopping(HANDLE job, PROCESS_INFORMATION *child)
{
    DWORD error = 0;
    ZeroMemory(child, sizeof *child);
    gRuntime.launching = 1;
    if (!gRuntime.stopping) {
        if (LaunchChild(gSettings.exe, gSettings.option, gSettings.end, job, child))
            gRuntime.childPid = child->dwProcessId;
        else
            error = GetLastError();
    }
    gRuntime.launching = 0;
    return error;
}

static BOOL CALLBACK StopAtFirstWindowProc(HWND, LPARAM)
{
    return FALSE;
}

// Runs children until the service is to stop; fills the exit codes to report.
static void SuperviseChild(HANDLE job, DWORD *exitCode, DWORD *specificExitCode)
{
    PROCESS_INFORMATION child;
    DWORD launchedAt = GetTickCount();
    // A failed start is reported with its error code, so that the SCM
    // records the failure and runs its recovery actions.
    *exitCode = LaunchUnlessStopping(job, &child);
    if (child.hProcess == NULL)
        return;
    // Not after a stop that came during the launch: the SCM has seen
    // STOP_PENDING already.
    if (!gRuntime.stopping)
        ReportServiceStatus(SERVICE_RUNNING, 0, 0);
    // The first user32 window call of a thread sets up its window state
    // (Wine loads uxtheme then); made here, it no longer slows the stop.
    if (gSettings.end != STOP_CTRLBREAK)
        EnumWindows(StopAtFirstWindowProc, 0);
    for (;;) {
        HANDLE waits[2] = {child.hProcess, gRuntime.stopEvent};
        // A failed wait counts as the child's end, like the end itself.
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        DWORD code = 0;
        if (woken == WAIT_OBJECT_0 + 1)
            *exitCode = AwaitChildAfterStop(child.hProcess, job);
        else if (!GetExitCodeProcess(child.hProcess, &code))
            code = 0;
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        if (woken == WAIT_OBJECT_0 + 1 || gRuntime.stopping)
            return;
        if (!gSettings.retry) {
            // A program that failed makes a failed service, so that the
            // SCM's recovery actions run.
            if (code != 0) {
                *exitCode = ERROR_SERVICE_SPECIFIC_ERROR;
                *specificExitCode = code;
            }
            return;
        }
        DWORD since = GetTickCount() - launchedAt;
        // On the stop event rather than a sleep, so a stop cuts the pause short.
        if (since < kLaunchPaceMs)
            WaitForSingleObject(gRuntime.stopEvent, kLaunchPaceMs - since);
        launchedAt = GetTickCount();
        *exitCode = LaunchUnlessStopping(job, &child);
        if (child.hProcess == NULL)
            return;
    }
}

void WINAPI ServiceMain(DWORD, LPSTR *)
{
    gRuntime.statusHandle = RegisterServiceCtrlHandlerA(gSettings.name, ServiceControlHandler);
    if (gRuntime.statusHandle == NULL)
        return;
    ReportServiceStatus(SERVICE_START_PENDING, 0, 1);
    ReportServiceStatus(SERVICE_RUNNING, 0, 0);

    // Without a job the child still runs, and the bound can end only the
    // child itself.
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (job != NULL)
        EndJobWithHost(job);
    DWORD exitCode = 0;
    DWORD specificExitCode = 0;
    SuperviseChild(job, &exitCode, &specificExitCode);

    // A stop under way gets to finish its request and its report first, so
    // that SERVICE_STOPPED is the last word.
    if (gRuntime.stopping.exchange(1))
        WaitForSingleObject(gRuntime.stopEvent, INFINITE);
    if (gSettings.end == STOP_CTRLBREAK)
        FreeConsole();
    if (gRuntime.instanceMutex != NULL)
        CloseHandle(gRuntime.instanceMutex);
    // Ends whatever the child left running.
    if (job != NULL)
        CloseHandle(job);
    ReportServiceStatus(SERVICE_STOPPED, exitCode, 0, specificExitCode);
}
