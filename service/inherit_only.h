// Starting a process that inherits a given few handles and no others.
#ifndef TAVI_SERVICE_INHERIT_ONLY_H
#define TAVI_SERVICE_INHERIT_ONLY_H

#include <windows.h>

// CreateProcessA with inheritance, limited to the count handles given
// (inheritable ones) where the platform can limit it, Windows Vista on;
// before that every inheritable handle of tavi's goes to the child.
// environment: the child's block, or NULL for tavi's own.
BOOL CreateProcessInheriting(char *commandLine, DWORD flags, const char *environment,
                             const char *directory, STARTUPINFOA *startup, HANDLE *handles,
                             int count, PROCESS_INFORMATION *child);

#endif
