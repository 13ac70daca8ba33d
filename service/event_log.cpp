// See event_log.h. Each value is inserted as text (%1, %2... in the
// message table), numbers in decimal.
#include "service/event_log.h"
#include "settings/account.h"
#include "settings/service_settings.h"

#include "tavi_events.h"

static HANDLE sSource;

void OpenEventSource(const char *name)
{
    sSource = RegisterEventSourceA(NULL, name);
}

void CloseEventSource(void)
{
    if (sSource != NULL)
        DeregisterEventSource(sSource);
    sSource = NULL;
}

static void Report(WORD type, DWORD id, const char *first, const char *second = NULL,
                   const char *third = NULL, const char *fourth = NULL)
{
    const char *values[4] = {first, second, third, fourth};
    WORD count = 0;
    while (count < 4 && values[count] != NULL)
        count++;
    if (sSource != NULL)
        ReportEventA(sSource, type, 0, id, NULL, count, 0, values, NULL);
}

// A number as decimal text, into one of the caller's 12-byte buffers.
static const char *Decimal(char *out, unsigned long value)
{
    out[0] = '\0';
    AppendDecimal(out, 12, value);
    return out;
}

void ReportProgramStarted(const char *commandLine)
{
    char account[TEXT_SIZE];
    FormAccountName(account, sizeof account, gSettings.account, gSettings.name);
    Report(EVENTLOG_INFORMATION_TYPE, EVENT_PROGRAM_STARTED, commandLine,
           AccountShownName(account));
}

void ReportLaunchFailed(DWORD error, const char *commandLine)
{
    char code[12];
    Report(EVENTLOG_ERROR_TYPE, EVENT_LAUNCH_FAILED, Decimal(code, error), commandLine);
}

void ReportLogFailed(DWORD error, const char *path)
{
    char code[12];
    Report(EVENTLOG_ERROR_TYPE, EVENT_LOG_FAILED, Decimal(code, error), path);
}

void ReportEnvironmentFailed(DWORD error, int line)
{
    char code[12], number[12];
    if (line == 0)
        Report(EVENTLOG_ERROR_TYPE, EVENT_ENVIRONMENT_TOO_LONG, Decimal(code, error));
    else
        Report(EVENTLOG_ERROR_TYPE, EVENT_ENVIRONMENT_LINE, Decimal(code, error),
               Decimal(number, (unsigned long)line));
}

void ReportProgramFailed(DWORD code, DWORD ranMs, unsigned long ends, unsigned long covered)
{
    char texts[4][12];
    Report(EVENTLOG_WARNING_TYPE, EVENT_PROGRAM_FAILED, Decimal(texts[0], code),
           Decimal(texts[1], ranMs / 1000), Decimal(texts[2], ends), Decimal(texts[3], covered));
}

void ReportRelaunchesPaused(int quick, DWORD pauseMs, DWORD lastCode)
{
    char texts[3][12];
    Report(EVENTLOG_WARNING_TYPE, EVENT_RELAUNCHES_PAUSED, Decimal(texts[0], (unsigned long)quick),
           Decimal(texts[1], pauseMs / 1000), Decimal(texts[2], lastCode));
}

void ReportProgramRunsAgain(void)
{
    Report(EVENTLOG_INFORMATION_TYPE, EVENT_PROGRAM_RUNS_AGAIN, NULL);
}

void ReportEndedByForce(int stoptime)
{
    char seconds[12];
    Report(EVENTLOG_WARNING_TYPE, EVENT_ENDED_BY_FORCE, Decimal(seconds, (unsigned long)stoptime));
}

void ReportStartRefused(const char *name, DWORD error)
{
    char code[12];
    OpenEventSource(name);
    Report(EVENTLOG_ERROR_TYPE, EVENT_START_REFUSED, Decimal(code, error));
    CloseEventSource();
}
