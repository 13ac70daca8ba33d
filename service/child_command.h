// Forming the child's command line and working directory. Pure: no Windows
// header, so it is built and tested natively too.
#ifndef TAVI_SERVICE_CHILD_COMMAND_H
#define TAVI_SERVICE_CHILD_COMMAND_H

#include <stddef.h>
#include "settings/service_settings.h"

// "%s %s" of the program path and the option text; a path with a blank that
// is not already quoted goes in double quotes, so that C:\Program Files\x.exe
// cannot run C:\Program.exe. Returns 0 (out empty) when the line does not fit
// in size bytes: a cut line would start the program with other options.
int FormChildCommandLine(char *out, size_t size, const char *exe, const char *option);
// True when the launch can form the command line of exe and option in 259
// bytes.
int ChildCommandLineFits(const char *exe, const char *option);
// True when the host could start with these settings: the command line
// fits, and so do the log's names. A registration that could never start
// is refused with this.
int SettingsCouldStart(const ServiceSettings *settings, const char *moduleDir);
// The program path cut at its last backslash (Shift_JIS-aware), without
// the opening quote of a quoted path; the empty text for a path without a
// folder, which runs in the current directory (tavi's own on every road).
void FormChildWorkingDirectory(char *out, size_t size, const char *exe);

#endif
