// See log_file.h. Rotation renames web.log to web.1.log, web.1.log to
// web.2.log and so on, deleting what passes logkeep, then opens a new
// web.log. It happens whole or not at all: when any of the files it would
// rename cannot be (a reader holds it without sharing its deletion), it
// changes nothing, the log grows on, and it is tried again a second later.
// A log renamed or moved away by the user is left to the user: a new one
// is opened at the path when the next rotation is due.
#include "service/log_file.h"
#include "settings/program_paths.h"
#include "settings/log_names.h"
#include "settings/service_settings.h"

#include <stdarg.h>

// How long rotation rests after it failed.
static const DWORD kRotationRetryMs = 1000;
// A stamp, then what wvsprintfA writes (at most 1024 bytes), then the line end.
enum { LOG_LINE_SIZE = 1100 };

struct LogState {
    HANDLE file; // NULL: no log
    char path[TEXT_SIZE];
    ULONGLONG size;
    char last;     // the file's last byte; '\n' for an empty file
    DWORD dropped; // bytes of output lost since the last write that worked
    int rotationFailed;
    DWORD rotationFailedAt;
};

static LogState sLog;

// The lock exists from the process's start, so that the control handler can
// take it whenever a stop comes, before or after the log is opened.
static struct LogLock {
    CRITICAL_SECTION section;
    LogLock() { InitializeCriticalSection(&section); }
} sLock;

// One writer per file: a second service given the same log is refused
// (ERROR_SHARING_VIOLATION); readers that share writing read it.
static HANDLE OpenForAppending(const char *path)
{
    return CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

// Opens an existing file without keeping anyone from anything.
static HANDLE OpenShared(const char *path, DWORD access)
{
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, 0, NULL);
}

// The size and the last byte of a file opened for appending.
static void ReadEnd(HANDLE file)
{
    LARGE_INTEGER size;
    sLog.size = GetFileSizeEx(file, &size) ? (ULONGLONG)size.QuadPart : 0;
    sLog.last = '\n';
    DWORD read = 0;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)sLog.size - 1;
    if (sLog.size > 0 && SetFilePointerEx(file, at, NULL, FILE_BEGIN))
        ReadFile(file, &sLog.last, 1, &read, NULL);
}

DWORD OpenServiceLog(void)
{
    if (gSettings.log[0] == '\0')
        return 0;
    if (!LogNamesFit(gPaths.moduleDir, gSettings.log, gSettings.logkeep) ||
        !FormLogPath(sLog.path, sizeof sLog.path, gPaths.moduleDir, gSettings.log))
        return ERROR_FILENAME_EXCED_RANGE;
    HANDLE file = OpenForAppending(sLog.path);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    EnterCriticalSection(&sLock.section);
    ReadEnd(file);
    sLog.file = file;
    LeaveCriticalSection(&sLock.section);
    return 0;
}

int ServiceLogIsOpen(void)
{
    EnterCriticalSection(&sLock.section);
    int open = sLog.file != NULL;
    LeaveCriticalSection(&sLock.section);
    return open;
}

// Moves a rotated file one number up; one that is not there is no failure.
static int MoveAside(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ||
           GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The file as rotation's number names it: 0 the log, 1 to logkeep the kept ones.
static int FormNumbered(char *out, int number)
{
    return number == 0 ? CopyText(out, TEXT_SIZE, sLog.path)
                       : FormRotatedLogName(out, TEXT_SIZE, sLog.path, number);
}

// True when every file a rotation would rename or delete, of those there
// are, can be: a rotation that stopped halfway would lose the older files.
static int AllCanMove(int last)
{
    char name[TEXT_SIZE];
    for (int n = 0; n <= last; n++) {
        FormNumbered(name, n);
        HANDLE test = OpenShared(name, DELETE);
        if (test == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
            return 0;
        if (test != INVALID_HANDLE_VALUE)
            CloseHandle(test);
    }
    return 1;
}

// Opens the file at the log's path to append to, in place of the open one.
static int Reopen(void)
{
    HANDLE fresh = OpenForAppending(sLog.path);
    if (fresh == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(sLog.file);
    sLog.file = fresh;
    ReadEnd(fresh);
    return 1;
}

static int Rotate(void)
{
    char from[TEXT_SIZE], to[TEXT_SIZE];
    int keep = gSettings.logkeep, last = keep > 0 ? keep : 1;
    if (!AllCanMove(last))
        return 0;
    FormNumbered(to, last);
    DeleteFileA(to);
    for (int n = last - 1; n >= 0; n--) {
        FormNumbered(from, n);
        FormNumbered(to, n + 1);
        if (!MoveAside(from, to))
            return 0;
    }
    // Until the new file opens, the old handle writes on into the renamed one.
    if (!Reopen())
        return 0;
    if (keep == 0)
        DeleteFileA(to);
    return 1;
}

static int SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// False when the log's path no longer names the open file: it was renamed,
// moved or deleted. A file that cannot be looked at counts as the same.
static int PathNamesOpenFile(void)
{
    HANDLE there = OpenShared(sLog.path, FILE_READ_ATTRIBUTES);
    if (there == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    int same = SameFile(there, sLog.file);
    CloseHandle(there);
    return same;
}

// Rotates when needed bytes more would take a non-empty file past logsize;
// 1 when the file has room for them (or is empty, or rotation rests).
static int MakeRoom(ULONGLONG needed)
{
    ULONGLONG limit = (ULONGLONG)gSettings.logsize;
    if (limit == 0 || sLog.size == 0 || sLog.size + needed <= limit)
        return 1;
    if (sLog.rotationFailed && GetTickCount() - sLog.rotationFailedAt < kRotationRetryMs)
        return 0;
    sLog.rotationFailed = PathNamesOpenFile() ? !Rotate() : !Reopen();
    sLog.rotationFailedAt = GetTickCount();
    return !sLog.rotationFailed;
}

// Writes to the file as it stands; the bytes that went in.
static DWORD WriteBytes(const char *data, DWORD size)
{
    DWORD written = 0;
    WriteFile(sLog.file, data, size, &written, NULL);
    sLog.size += written;
    if (written > 0)
        sLog.last = data[written - 1];
    return written;
}

static void FormStamp(char *line, int *length)
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    *length = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u tavi: ", t.wYear, t.wMonth,
                        t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

// A tavi line after the program's last line end, whole in one file.
static int WriteLine(const char *line, int length)
{
    int separate = sLog.last != '\n';
    if (MakeRoom((ULONGLONG)length + (separate ? 2 : 0)) && sLog.size == 0)
        separate = 0;
    if (separate && WriteBytes("\r\n", 2) != 2)
        return 0;
    return WriteBytes(line, (DWORD)length) == (DWORD)length;
}

// Before the next write: the line about bytes lost, if any were. 1 when
// writing works again.
static int ReportDropped(void)
{
    if (sLog.dropped == 0)
        return 1;
    char line[LOG_LINE_SIZE];
    int length;
    FormStamp(line, &length);
    length += wsprintfA(line + length, "dropped bytes=%lu\r\n", sLog.dropped);
    if (!WriteLine(line, length))
        return 0;
    sLog.dropped = 0;
    return 1;
}

static void Drop(DWORD size)
{
    sLog.dropped = size > MAXDWORD - sLog.dropped ? MAXDWORD : sLog.dropped + size;
}

// The program's bytes, in whole lines where a rotation comes between them.
static void AppendOutput(const char *data, DWORD size)
{
    ULONGLONG limit = (ULONGLONG)gSettings.logsize;
    while (size > 0) {
        DWORD take = size;
        if (limit > 0 && sLog.size + size > limit) {
            ULONGLONG room = sLog.size < limit ? limit - sLog.size : 0;
            take = (DWORD)LogBytesThatFit(data, size, (size_t)room);
            if (take == 0 && sLog.size > 0 && MakeRoom(size))
                continue;
            // A line longer than a whole file is cut; a file that cannot
            // be rotated takes everything.
            if (take == 0)
                take = sLog.size == 0 && room > 0 ? (DWORD)room : size;
        }
        DWORD written = WriteBytes(data, take);
        if (written < take) {
            Drop(size - written);
            return;
        }
        data += take;
        size -= take;
    }
}

void WriteLogOutput(const char *data, DWORD size)
{
    EnterCriticalSection(&sLock.section);
    if (sLog.file != NULL) {
        if (ReportDropped())
            AppendOutput(data, size);
        else
            Drop(size);
    }
    LeaveCriticalSection(&sLock.section);
}

void LogEvent(const char *format, ...)
{
    // Formed only when there is a log to take it.
    EnterCriticalSection(&sLock.section);
    if (sLog.file != NULL && ReportDropped()) {
        char line[LOG_LINE_SIZE];
        int length;
        FormStamp(line, &length);
        va_list arguments;
        va_start(arguments, format);
        length += wvsprintfA(line + length, format, arguments);
        va_end(arguments);
        line[length++] = '\r';
        line[length++] = '\n';
        WriteLine(line, length);
    }
    LeaveCriticalSection(&sLock.section);
}

void CloseServiceLog(void)
{
    EnterCriticalSection(&sLock.section);
    if (sLog.file != NULL)
        CloseHandle(sLog.file);
    sLog.file = NULL;
    LeaveCriticalSection(&sLock.section);
}
