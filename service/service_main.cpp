// ServiceMain: launches the child into a job object (the host's own), waits for the child's
// end or for a stop, relaunches the child when asked to, and reports
// SERVICE_STOPPED only once the child has ended. After a stop request the
// child gets a bound; then it is ended with every process it started. With
// a log, each launch's output goes to it through a pipe, between tavi's
// lines about the program's life.
#include "service/service_host.h"
#include "service/child_command.h"
#include "service/child_environment.h"
#include "service/child_process.h"
#include "service/end_child.h"
#include "service/end_events.h"
#include "service/event_log.h"
#include "service/log_file.h"
#include "service/log_pipe.h"
#include "service/relaunch_pause.h"
#include "settings/service_settings.h"

// The least time between two launches: a child that ends at once is started
// again at most about ten times a second, and after three such ends in a
// row only after pauses that grow (relaunch_pause.h).
static const DWORD kLaunchPaceMs = 100;

// The log's line and the event about a launch: the first, a relaunch (no
// event: a program relaunched is told of by its ends), or one that failed.
static void TellLaunch(int relaunch, DWORD error, DWORD processId, int logged)
{
    char line[TEXT_SIZE];
    if (!FormChildCommandLine(line, sizeof line, gSettings.exe, gSettings.option))
        CopyText(line, sizeof line, gSettings.exe);
    if (error != 0) {
        if (logged)
            LogEvent("launch failed error=%lu command=%s", error, line);
        ReportLaunchFailed(error, line);
        return;
    }
    if (logged)
        LogEvent("%s pid=%lu command=%s", relaunch ? "relaunch" : "launch", processId, line);
    if (!relaunch)
        ReportProgramStarted(line);
}

// Starts a child unless a stop has come; returns the launch's error code, or
// 0 when the child runs or the start was skipped for a stop (child zeroed).
// With a log (pipe given), the child's output goes to it through the pipe.
// launchJob: the job each child is put in as it starts; NULL when the host
// is in the job, so that each child is born in it.
static DWORD LaunchUnlessStopping(HANDLE launchJob, PROCESS_INFORMATION *child, LogPipe *pipe,
                                  int relaunch)
{
    DWORD error = 0;
    ZeroMemory(child, sizeof *child);
    gRuntime.launching = 1;
    if (!gRuntime.stopping) {
        if (pipe != NULL && !OpenLogPipe(pipe)) {
            error = GetLastError();
        } else {
            if (LaunchChild(gSettings.exe, gSettings.option, gSettings.end, launchJob,
                            pipe != NULL ? pipe->child : NULL, child))
                gRuntime.childPid = child->dwProcessId;
            else
                error = GetLastError();
            if (pipe != NULL)
                StartLogCopy(pipe, error == 0);
        }
        TellLaunch(relaunch, error, child->dwProcessId, pipe != NULL);
    }
    gRuntime.launching = 0;
    return error;
}

static BOOL CALLBACK StopAtFirstWindowProc(HWND, LPARAM)
{
    return FALSE;
}

// The log's line about a child's end, once all the child wrote is in it.
static void LogEnd(LogPipe *pipe, DWORD processId, DWORD code, DWORD launchedAt, int forced)
{
    DWORD ran = GetTickCount() - launchedAt;
    DrainLogPipe(pipe);
    LogEvent("%s pid=%lu exit=%lu ran=%lu.%03lus", forced ? "end by force" : "end", processId, code,
             ran / 1000, ran % 1000);
}

// Runs children until the service is to stop; fills the exit codes to report.
static void SuperviseChild(HANDLE job, HANDLE launchJob, DWORD *exitCode, DWORD *specificExitCode)
{
    PROCESS_INFORMATION child;
    // The log is open, or not, for the whole supervision.
    LogPipe logPipe;
    LogPipe *pipe = ServiceLogIsOpen() ? &logPipe : NULL;
    DWORD launchedAt = GetTickCount();
    int quick = 0; // quick ends in a row
    EndEvents events;
    ZeroMemory(&events, sizeof events);
    // A failed start is reported with its error code, so that the SCM
    // records the failure and runs its recovery actions.
    *exitCode = LaunchUnlessStopping(launchJob, &child, pipe, 0);
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
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, RunsAgainWaitMs(&events, launchedAt));
        if (woken == WAIT_TIMEOUT) {
            ReportRunsAgain(&events);
            continue;
        }
        DWORD code = 0;
        if (woken == WAIT_OBJECT_0 + 1) {
            *exitCode = AwaitChildAfterStop(child.hProcess, job);
            if (*exitCode == ERROR_TIMEOUT)
                ReportEndedByForce(gSettings.stoptime);
        }
        if (!GetExitCodeProcess(child.hProcess, &code))
            code = 0;
        if (pipe != NULL)
            LogEnd(pipe, child.dwProcessId, code, launchedAt, *exitCode == ERROR_TIMEOUT);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        if (woken == WAIT_OBJECT_0 + 1 || gRuntime.stopping)
            return;
        DWORD since = GetTickCount() - launchedAt;
        // An exit code of the noretry list ends the service as without retry.
        if (!gSettings.retry || ExitCodeListed(gSettings.noretry, code)) {
            ReportProgramEnd(&events, code, since, 0, 0);
            // A program that failed makes a failed service, so that the
            // SCM's recovery actions run.
            if (code != 0) {
                *exitCode = ERROR_SERVICE_SPECIFIC_ERROR;
                *specificExitCode = code;
            }
            return;
        }
        quick = NextQuickCount(quick, since);
        DWORD pause = RelaunchPauseMs(quick, gSettings.retrymax);
        ReportProgramEnd(&events, code, since, quick, pause);
        if (pause > 0 && pipe != NULL)
            LogEvent("pause seconds=%lu quick=%d", pause / 1000, quick);
        if (pause == 0 && since < kLaunchPaceMs)
            pause = kLaunchPaceMs - since;
        // On the stop event rather than a sleep, so a stop cuts the pause
        // short; the stop then has no program to ask.
        gRuntime.childPid = 0;
        if (pause > 0 && WaitForSingleObject(gRuntime.stopEvent, pause) == WAIT_OBJECT_0) {
            *exitCode = 0;
            return;
        }
        launchedAt = GetTickCount();
        *exitCode = LaunchUnlessStopping(launchJob, &child, pipe, 1);
        if (child.hProcess == NULL)
            return;
    }
}

// A step of the start, unless a stop has come: the SCM has seen
// STOP_PENDING then.
static void ReportStartStep(DWORD checkPoint)
{
    if (!gRuntime.stopping)
        ReportServiceStatus(SERVICE_START_PENDING, 0, checkPoint);
}

void WINAPI ServiceMain(DWORD, LPSTR *)
{
    gRuntime.statusHandle =
        RegisterServiceCtrlHandlerExA(gSettings.name, ServiceControlHandler, NULL);
    if (gRuntime.statusHandle == NULL)
        return;
    // START_PENDING, its check point growing at each step, until the program
    // runs: only then RUNNING, so that a start that fails is not taken for
    // one that worked.
    ReportServiceStatus(SERVICE_START_PENDING, 0, 1);

    // Without a job the child still runs, and the bound can end only the
    // child itself. With the host outside the job, each child is put in it
    // as it starts.
    int hostInJob;
    HANDLE job = CreateHostJob(&hostInJob);
    DWORD specificExitCode = 0;
    // A log that cannot be opened stops the service as a failed launch
    // does, before the program has run.
    OpenEventSource(gSettings.name);
    DWORD exitCode = OpenServiceLog();
    if (exitCode != 0)
        ReportLogFailed(exitCode, gSettings.log);
    if (exitCode == 0) {
        LogEvent("service start name=%s", gSettings.name);
        ReportStartStep(2);
        // An environment that cannot be formed fails the start in the same way.
        exitCode = FormChildEnvironment();
        if (exitCode == 0)
            ReportStartStep(3);
        if (exitCode == 0)
            SuperviseChild(job, hostInJob ? NULL : job, &exitCode, &specificExitCode);
    }

    // A stop under way gets to finish its request and its report first, so
    // that SERVICE_STOPPED is the last word.
    if (gRuntime.stopping.exchange(1))
        WaitForSingleObject(gRuntime.stopEvent, INFINITE);
    if (gSettings.end == STOP_CTRLBREAK)
        FreeConsole();
    if (gRuntime.instanceMutex != NULL)
        CloseHandle(gRuntime.instanceMutex);
    // Ends whatever the child left running, and with it the pipes it held.
    // A job that holds the host is left to close with the process: closing
    // it would end the host before its last report.
    if (job != NULL) {
        EndJobProcesses(job, ERROR_PROCESS_ABORTED);
        if (!hostInJob)
            CloseHandle(job);
    }
    FinishLogPipes();
    LogEvent("service stop exit=%lu specific=%lu", exitCode, specificExitCode);
    CloseServiceLog();
    CloseEventSource();
    ReportServiceStatus(SERVICE_STOPPED, exitCode, 0, specificExitCode);
}
