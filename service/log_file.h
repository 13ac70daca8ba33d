// The program's log file: the program's own bytes, copied from its pipe,
// and tavi's time-stamped lines about the program's life, in one file that
// is rotated by size while the program runs. Everything is written under
// one lock, by the copy threads and by the service's two threads.
#ifndef TAVI_SERVICE_LOG_FILE_H
#define TAVI_SERVICE_LOG_FILE_H

#include <windows.h>

// Opens the log that gSettings names (nothing when it names none), for
// appending, shared with readers but with no second writer. Returns 0, or
// the error code of the open (ERROR_SHARING_VIOLATION when another service
// writes it, ERROR_FILENAME_EXCED_RANGE when its names do not fit).
DWORD OpenServiceLog(void);
// True from a successful OpenServiceLog until CloseServiceLog.
int ServiceLogIsOpen(void);
// Appends the program's bytes, rotating the file before a write that would
// take it past logsize. Bytes that cannot be written are dropped and
// counted; the next write that works first says how many.
void WriteLogOutput(const char *data, DWORD size);
// Writes one of tavi's lines: the local time, "tavi: ", then the text of
// format (wsprintfA's), on a line of its own and never split by a rotation.
void LogEvent(const char *format, ...);
void CloseServiceLog(void);

#endif
