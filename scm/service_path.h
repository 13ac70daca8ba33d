// The binary path registered for the service. Pure: no Windows header.
#ifndef TAVI_SCM_SERVICE_PATH_H
#define TAVI_SCM_SERVICE_PATH_H

#include <stddef.h>

// The module path as it reads, or in double quotes when it holds a blank, so
// the SCM cannot start C:\Program.exe for C:\Program Files\...\tavi.exe.
// Returns 0 when the result does not fit in size bytes.
int FormServiceBinaryPath(char *out, size_t size, const char *modulePath);

#endif
