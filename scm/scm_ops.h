// Everything done to the service control manager from outside the running
// service: the start-up probe, create, delete and start. All work on the
// service named gSettings.name on the local machine.
#ifndef TAVI_SCM_SCM_OPS_H
#define TAVI_SCM_SCM_OPS_H

#include <windows.h>

struct ProbeResult {
    int isNt;
    int serviceExists;
    int wasRunning;
    int launchedByScm;
};

extern ProbeResult gProbe;

// The probe's test of the launch kind: the current directory is the
// executable's (ASCII case-insensitive); one too long to read differs.
int ModuleDirIsCurrent(void);
// Returns launchedByScm. May change the current directory, may replace
// gSettings.auto_ and desktop by an existing registration's, and, for the
// window road only, asks an existing service to stop.
int ProbeService(void);
// 0 on success, else the platform's error code (1073 when the name is taken).
DWORD CreateWrappedService(void);
// CreateWrappedService, and with prepared set, the settings that
// PrepareSettings wrote put in tavi.ini's place once the service exists:
// when either fails, neither happens. 0 or the error code.
DWORD CreateWithSettings(int prepared);
int DeleteWrappedService(void);
// 1 when the service started: it left START_PENDING running, or stopped
// after its program ran; 0 when the request was refused, the service
// stopped with a launch error or it did not leave START_PENDING in time.
int StartWrappedService(void);

#endif
