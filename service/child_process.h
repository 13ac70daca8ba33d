// Starting the wrapped program and asking it to end. Nothing here waits for
// the child or terminates it: the caller holds its handles and closes them.
#ifndef TAVI_SERVICE_CHILD_PROCESS_H
#define TAVI_SERVICE_CHILD_PROCESS_H

#include <windows.h>

// Nonzero when the child was started. On failure the record is all zero and
// the platform's last error tells why (ERROR_FILENAME_EXCED_RANGE for a
// command line that does not fit). With STOP_CTRLBREAK the caller holds a
// console afterwards and releases it with FreeConsole. A job, when given,
// holds the child from before its first instruction, so that every process
// the child starts is in the job too; NULL starts it without one. stdio,
// when given, holds the child's standard input and output (also its
// error): inheritable handles, the only ones the child inherits; NULL
// leaves the child's handles as the platform gives them, inheriting none.
BOOL LaunchChild(const char *exe, const char *option, int method, HANDLE job, HANDLE *stdio,
                 PROCESS_INFORMATION *child);
// Sends the method's stop request to the process processId, which the caller
// has stored in gRuntime.childPid. Process id 0 means no child: nothing is sent.
void RequestChildStop(int method, DWORD processId);
BOOL CALLBACK CloseChildWindowsProc(HWND window, LPARAM method);

#endif
