// tavi's events in the Application log, under the source named after the
// service (the registration adds it, the deletion removes it). One small
// function per event, given the values only: never an [env] value or a
// password. The texts are the message table's (resources/tavi_events.mc).
#ifndef TAVI_SERVICE_EVENT_LOG_H
#define TAVI_SERVICE_EVENT_LOG_H

#include <windows.h>

// Opened by the service main routine for the service's life; without it
// (the source cannot be opened) no event is written, nothing else changes.
void OpenEventSource(const char *name);
void CloseEventSource(void);

void ReportProgramStarted(const char *commandLine);
void ReportLaunchFailed(DWORD error, const char *commandLine);
void ReportLogFailed(DWORD error, const char *path);
// line 0: the section is too long; else the line that is no NAME=value.
void ReportEnvironmentFailed(DWORD error, int line);
// An end with an error code: the code, the run's length, the ends with an
// error code since the service started and those the event covers.
void ReportProgramFailed(DWORD code, DWORD ranMs, unsigned long ends, unsigned long covered);
void ReportRelaunchesPaused(int quick, DWORD pauseMs, DWORD lastCode);
void ReportProgramRunsAgain(void);
void ReportEndedByForce(int stoptime);
void ReportStartRefused(const char *name, DWORD error);

#endif
