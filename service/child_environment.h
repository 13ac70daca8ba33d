// The environment the program is started with: tavi's own with the [env]
// section's variables set, formed once before the first launch.
#ifndef TAVI_SERVICE_CHILD_ENVIRONMENT_H
#define TAVI_SERVICE_CHILD_ENVIRONMENT_H

#include <windows.h>

// Forms the program's environment from gSettings. Returns 0, or
// ERROR_BAD_ENVIRONMENT when the section cannot be formed (too long, or a
// line that is no variable); then the log, when open, says why, and the
// program must not be started. Values are never logged.
DWORD FormChildEnvironment(void);
// The block formed last, or NULL when the program inherits tavi's own
// environment unchanged (no [env] section).
const char *ChildEnvironment(void);

#endif
