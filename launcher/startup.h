// The entry routine's process-wide state and the roads it runs itself.
#ifndef TAVI_LAUNCHER_STARTUP_H
#define TAVI_LAUNCHER_STARTUP_H

#include <windows.h>
#include "settings/program_paths.h"

extern HINSTANCE gInstance;

int TaviMain(HINSTANCE instance, const char *tail);
int RunInstallRoad(void);
int RunUninstallRoad(void);
int RunWindowRoad(void);
// tavi.exe's own path too long for tavi.ini beside it: refuses, exit code 1.
int RunLongPathRoad(const char *tail);

#endif
