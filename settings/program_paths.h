// Where tavi is: the running executable, its folder, and tavi.ini beside
// it. Filled once at start-up (launcher/startup.cpp) and read by every
// other subsystem.
#ifndef TAVI_SETTINGS_PROGRAM_PATHS_H
#define TAVI_SETTINGS_PROGRAM_PATHS_H

#include "settings/text.h"

struct ProgramPaths {
    char modulePath[TEXT_SIZE];
    char moduleDir[TEXT_SIZE];
    char settingsPath[TEXT_SIZE];
};

extern ProgramPaths gPaths;

#endif
