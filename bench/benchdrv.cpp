// benchdrv: measures two service wrappers side by side from one process, so
// that every interval is read on one clock (the system-wide performance
// counter, which benchchild also stamps its start and exit with).
//
//   benchdrv cycle OUT RUNS SETTLE_MS IDLE_MS CHILD FLOORLOG  LABEL NAME LOG ...
//     Each run: starts CHILD FLOORLOG window with CreateProcess (the floor),
//     starts the services (their order rotates from run to run), waits
//     SETTLE_MS, reads the memory, threads and handles of each host, of the
//     floor and of the first service's child, and their CPU time over
//     IDLE_MS, then stops the services. Run 0 is a warm-up (warmup=1).
//   benchdrv relaunch OUT GAPS NAME LOG [LABEL]
//     Starts the service, whose child ends by itself, until GAPS relaunches
//     have been seen, then stops it. Per relaunch: the child's exit stamp to
//     the next child's creation and to its first instruction.
//   benchdrv output OUT RUNS CHILD BYTES BLOCK  LABEL KIND NAME FOLDER ...
//     Each run (run 0 a warm-up), each LABEL in turn (the order rotating from
//     run to run): CHILD writes BYTES in blocks of BLOCK to its standard
//     output, which ends up in FOLDER\out.log, and its "written" line in
//     FOLDER\result.txt is copied to OUT with the time from its first
//     instruction until the output is complete. KIND says who writes the
//     file: service (the service NAME runs "CHILD FOLDER\result.txt write
//     BYTES BLOCK" and stops when it ends; complete when the host has
//     exited), cmd (cmd /c CHILD ... > FOLDER\out.log; complete when cmd
//     has ended) or pipe (an anonymous pipe that this driver copies into the
//     file in reads of BLOCK bytes; complete when the file is closed). NAME
//     is "-" for the last two. FOLDER is emptied before each run.
//
// OUT gets one line of key=value pairs per measured thing; times are in ms.
// LOG is the file that the service's benchchild writes to; the driver
// deletes it before each start. Exit code 0, or 1 when a service did not do
// what was asked (the reason goes to OUT as error=).
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "process_info.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

static LARGE_INTEGER gFrequency;
static FILE *gOut;

static LONGLONG Now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static double Ms(LONGLONG from, LONGLONG to)
{
    return (double)(to - from) * 1000.0 / (double)gFrequency.QuadPart;
}

// A process's creation time is a system time (FILETIME, 100 ns units): the
// moment its creator called CreateProcess. Counter stamps are put on the
// same scale through one pair of readings taken together at start-up.
static LONGLONG gCounterBase;
static ULONGLONG gFileTimeBase;

static void CalibrateClocks(void)
{
    FILETIME now;
    gCounterBase = Now();
    GetSystemTimePreciseAsFileTime(&now);
    gFileTimeBase = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

static ULONGLONG CreationTime(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user))
        return 0;
    return ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

static ULONGLONG CreationTimeOf(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == NULL)
        return 0;
    ULONGLONG created = CreationTime(process);
    CloseHandle(process);
    return created;
}

// From a counter stamp to a creation time, in ms; -1 when unknown.
static double MsToCreation(LONGLONG from, ULONGLONG created)
{
    if (created == 0)
        return -1;
    double fromFileTime =
        (double)gFileTimeBase + (double)(from - gCounterBase) * 1e7 / (double)gFrequency.QuadPart;
    return ((double)created - fromFileTime) / 1e4;
}

struct ChildEvent {
    int exit; // 0 start, 1 exit
    DWORD pid;
    LONGLONG t;
};

// The whole of a small file (a child's log, or a /proc entry seen through
// drive Z:), NUL-terminated; the length read.
static DWORD ReadSmallFile(const char *path, char *data, DWORD size)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD total = 0, got = 0;
    while (total < size - 1 && ReadFile(file, data + total, size - 1 - total, &got, NULL) &&
           got != 0)
        total += got;
    CloseHandle(file);
    data[total] = '\0';
    return total;
}

// The benchchild lines of LOG, in file order. A log holds at most a few
// start and exit lines and one "written" line of about 20 bytes a write.
static char gLogData[1 << 20];

static std::vector<ChildEvent> ReadEvents(const char *log)
{
    std::vector<ChildEvent> events;
    char *data = gLogData;
    ReadSmallFile(log, data, sizeof gLogData);
    for (char *line = data; *line;) {
        char *end = strchr(line, '\n');
        if (end == NULL)
            break; // a line still being written
        *end = '\0';
        ChildEvent event;
        unsigned long pid;
        unsigned long long t;
        char kind[8];
        if (sscanf(line, "%7s pid=%lu t=%llu", kind, &pid, &t) == 3) {
            event.exit = strcmp(kind, "exit") == 0;
            event.pid = pid;
            event.t = (LONGLONG)t;
            events.push_back(event);
        }
        line = end + 1;
    }
    return events;
}

static const ChildEvent *FirstStart(const std::vector<ChildEvent> &events)
{
    for (size_t i = 0; i < events.size(); i++)
        if (!events[i].exit)
            return &events[i];
    return NULL;
}

static void DeleteLog(const char *log)
{
    for (int i = 0; i < 100 && !DeleteFileA(log) && GetLastError() != ERROR_FILE_NOT_FOUND; i++)
        Sleep(20);
}

struct Wrapper {
    const char *label;
    const char *name;
    const char *log;
    SC_HANDLE service;
    char image[MAX_PATH]; // the registered binary path: the host's command line
    HANDLE host;          // SYNCHRONIZE and query rights on the host process
    DWORD hostPid;
    DWORD childPid;
    double startRunning, startChild;
    double hostCreated, childCreated; // StartService to CreateProcess of each
};

static int QueryState(SC_HANDLE service, DWORD *pid)
{
    SERVICE_STATUS_PROCESS status;
    DWORD needed;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&status, sizeof status,
                              &needed))
        return 0;
    if (pid != NULL)
        *pid = status.dwProcessId;
    return (int)status.dwCurrentState;
}

static void Fail(const char *label, const char *what, DWORD error)
{
    fprintf(gOut, "who=%s error=%s code=%lu\n", label, what, error);
    fflush(gOut);
}

// StartService to SERVICE_RUNNING and to the child's first instruction.
// The status is polled every millisecond; the child stamps its own start.
static int StartWrapper(Wrapper *w)
{
    DeleteLog(w->log);
    w->host = NULL;
    w->hostPid = 0;
    w->childPid = 0;
    w->startRunning = w->startChild = w->hostCreated = w->childCreated = -1;
    LONGLONG begin = Now();
    if (!StartServiceA(w->service, 0, NULL)) {
        Fail(w->label, "StartService", GetLastError());
        return 0;
    }
    while (Ms(begin, Now()) < 30000) {
        if (w->startRunning < 0) {
            DWORD pid = 0;
            int state = QueryState(w->service, &pid);
            if (state == SERVICE_RUNNING)
                w->startRunning = Ms(begin, Now());
            if (pid != 0 && w->host == NULL) {
                w->hostPid = pid;
                w->host = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                                      FALSE, pid);
            }
            if (state == SERVICE_STOPPED && Ms(begin, Now()) > 1000) {
                Fail(w->label, "stopped_while_starting", 0);
                return 0;
            }
        }
        if (w->startChild < 0) {
            std::vector<ChildEvent> events = ReadEvents(w->log);
            const ChildEvent *start = FirstStart(events);
            if (start != NULL) {
                w->startChild = Ms(begin, start->t);
                w->childPid = start->pid;
                w->childCreated = MsToCreation(begin, CreationTimeOf(start->pid));
            }
        }
        if (w->startRunning >= 0 && w->startChild >= 0 && w->host != NULL) {
            w->hostCreated = MsToCreation(begin, CreationTime(w->host));
            return 1;
        }
        Sleep(1);
    }
    Fail(w->label, "start_timeout", 0);
    return 0;
}

// ControlService(STOP) to SERVICE_STOPPED and to the end of the child process.
static int StopWrapper(Wrapper *w, double *toStopped, double *toChildEnd, double *toHostEnd)
{
    *toStopped = *toChildEnd = *toHostEnd = -1;
    HANDLE child = w->childPid ? OpenProcess(SYNCHRONIZE, FALSE, w->childPid) : NULL;
    SERVICE_STATUS status;
    LONGLONG begin = Now();
    if (!ControlService(w->service, SERVICE_CONTROL_STOP, &status)) {
        Fail(w->label, "ControlService", GetLastError());
        if (child)
            CloseHandle(child);
        return 0;
    }
    while (Ms(begin, Now()) < 15000) {
        if (*toStopped < 0 && QueryState(w->service, NULL) == SERVICE_STOPPED)
            *toStopped = Ms(begin, Now());
        if (*toChildEnd < 0 && (child == NULL || WaitForSingleObject(child, 0) != WAIT_TIMEOUT))
            *toChildEnd = Ms(begin, Now());
        if (*toHostEnd < 0 && (w->host == NULL || WaitForSingleObject(w->host, 0) != WAIT_TIMEOUT))
            *toHostEnd = Ms(begin, Now());
        if (*toStopped >= 0 && *toChildEnd >= 0 && *toHostEnd >= 0)
            break;
        Sleep(1);
    }
    if (child)
        CloseHandle(child);
    if (*toStopped < 0 || *toHostEnd < 0) {
        Fail(w->label, "stop_timeout", 0);
        return 0;
    }
    return 1;
}

struct Footprint {
    SIZE_T workingSet, privateBytes;
    DWORD threads, handles;
    ULONGLONG cpu100ns;
    DWORD unixPid;
    ULONGLONG cpuNs;
};

// GetProcessTimes of another process moves in 10 ms steps under Wine, a
// whole 0.1 % of a 10 s window. Wine shows each process's Windows command
// line as its Linux one, so the Linux process behind a command line is
// found in /proc, and its threads' run times are read to the nanosecond.
static DWORD FindUnixPid(const char *commandLine)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    DWORD result = 0;
    size_t length = strlen(commandLine);
    if (length == 0) {
        FindClose(search);
        return 0;
    }
    do {
        if (found.cFileName[0] < '1' || found.cFileName[0] > '9')
            continue;
        char path[MAX_PATH], data[1024];
        snprintf(path, sizeof path, "Z:\\proc\\%s\\cmdline", found.cFileName);
        // The words of the command line are separated by NULs there.
        DWORD got = ReadSmallFile(path, data, sizeof data);
        for (DWORD i = 0; i < got; i++)
            if (data[i] == '\0')
                data[i] = ' ';
        if (got >= length && strncmp(data, commandLine, length) == 0 &&
            (data[length] == '\0' || data[length] == ' ')) {
            result = (DWORD)atol(found.cFileName);
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return result;
}

static ULONGLONG UnixCpuNs(DWORD unixPid)
{
    if (unixPid == 0)
        return 0;
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "Z:\\proc\\%lu\\task\\*", unixPid);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    ULONGLONG total = 0;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9')
            continue;
        char path[MAX_PATH], data[128];
        snprintf(path, sizeof path, "Z:\\proc\\%lu\\task\\%s\\schedstat", unixPid, found.cFileName);
        if (ReadSmallFile(path, data, sizeof data))
            total += strtoull(data, NULL, 10);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return total;
}

static ULONGLONG CpuTime(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user))
        return 0;
    return (((ULONGLONG)kernel.dwHighDateTime << 32) | kernel.dwLowDateTime) +
           (((ULONGLONG)user.dwHighDateTime << 32) | user.dwLowDateTime);
}

static DWORD CountThreads(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == pid)
            count++;
    CloseHandle(snapshot);
    return count;
}

static void ReadFootprint(HANDLE process, DWORD pid, const char *commandLine, Footprint *f)
{
    PROCESS_MEMORY_COUNTERS_EX memory;
    ZeroMemory(&memory, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS *)&memory, sizeof memory);
    f->workingSet = memory.WorkingSetSize;
    // Wine fills only the first record of the counters; there, as on
    // Windows, the page-file usage is the private commit.
    f->privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    f->threads = CountThreads(pid);
    f->handles = CountProcessHandles(process, pid);
    f->unixPid = FindUnixPid(commandLine);
    f->cpu100ns = CpuTime(process);
    f->cpuNs = UnixCpuNs(f->unixPid);
}

// Set when GetProcessTimes of another process gave this process's own
// times (as Wine 8 does): its CPU figures then say nothing of that process.
static int gTimesAreCallers;

static void PrintFootprint(int run, const char *label, const Footprint &f, ULONGLONG cpuEnd,
                           ULONGLONG cpuNsEnd, DWORD idleMs)
{
    double cpuMs = (double)(cpuEnd - f.cpu100ns) / 10000.0;
    double linuxMs = f.unixPid ? (double)(cpuNsEnd - f.cpuNs) / 1e6 : -1;
    fprintf(gOut,
            "run=%d who=%s ws=%llu private=%llu threads=%lu handles=%lu cpu_ms=%.1f cpu_pct=%.4f "
            "linux_cpu_ms=%.3f linux_cpu_pct=%.4f times_are_callers=%d\n",
            run, label, (unsigned long long)f.workingSet, (unsigned long long)f.privateBytes,
            f.threads, f.handles, cpuMs, cpuMs * 100.0 / idleMs, linuxMs, linuxMs * 100.0 / idleMs,
            gTimesAreCallers);
}

// Starts a command line, its standard output and error going to OUTPUT
// (an inheritable handle) unless that is NULL; returns the process handle,
// NULL on failure (reported under LABEL).
static HANDLE Spawn(const char *label, const char *commandLine, HANDLE output, DWORD *pid)
{
    char line[1024];
    lstrcpynA(line, commandLine, sizeof line);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (output != NULL) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
    }
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, output != NULL, 0, NULL, NULL, &startup,
                        &process)) {
        Fail(label, "CreateProcess", GetLastError());
        return NULL;
    }
    CloseHandle(process.hThread);
    *pid = process.dwProcessId;
    return process.hProcess;
}

// Starts the floor child; returns its process handle, NULL on failure.
static char floorLine[600];

static HANDLE StartFloor(const char *childExe, const char *log, double *toChild, double *toCreated,
                         DWORD *pid)
{
    DeleteLog(log);
    snprintf(floorLine, sizeof floorLine, "%s %s window", childExe, log);
    LONGLONG begin = Now();
    HANDLE process = Spawn("floor", floorLine, NULL, pid);
    if (process == NULL)
        return NULL;
    while (Ms(begin, Now()) < 30000) {
        std::vector<ChildEvent> events = ReadEvents(log);
        const ChildEvent *start = FirstStart(events);
        if (start != NULL) {
            *toChild = Ms(begin, start->t);
            *toCreated = MsToCreation(begin, CreationTime(process));
            return process;
        }
        Sleep(1);
    }
    Fail("floor", "start_timeout", 0);
    TerminateProcess(process, 1);
    CloseHandle(process);
    return NULL;
}

static int OpenWrapper(SC_HANDLE scm, Wrapper *w, const char *label, const char *name,
                       const char *log)
{
    w->label = label;
    w->name = name;
    w->log = log;
    w->host = NULL;
    w->service = OpenServiceA(scm, name, SERVICE_ALL_ACCESS);
    if (w->service == NULL) {
        Fail(label, "OpenService", GetLastError());
        return 0;
    }
    static BYTE config[8192];
    DWORD needed;
    w->image[0] = '\0';
    if (QueryServiceConfigA(w->service, (QUERY_SERVICE_CONFIGA *)config, sizeof config, &needed))
        lstrcpynA(w->image, ((QUERY_SERVICE_CONFIGA *)config)->lpBinaryPathName, sizeof w->image);
    // A host left running (by an interrupted bench run, or by the warm-up
    // start when its stop came while the start was pending, which the
    // service refuses) is stopped.
    LONGLONG begin = Now();
    while (QueryState(w->service, NULL) != SERVICE_STOPPED && Ms(begin, Now()) < 30000) {
        SERVICE_STATUS status;
        ControlService(w->service, SERVICE_CONTROL_STOP, &status);
        Sleep(50);
    }
    return 1;
}

static const int kMaxWrappers = 8;

static int Cycle(SC_HANDLE scm, int argc, char **argv)
{
    int runs = atoi(argv[3]);
    DWORD settleMs = (DWORD)atoi(argv[4]);
    DWORD idleMs = (DWORD)atoi(argv[5]);
    const char *childExe = argv[6];
    const char *floorLog = argv[7];
    Wrapper wrappers[kMaxWrappers];
    int count = (argc - 8) / 3;
    for (int i = 0; i < count; i++)
        if (!OpenWrapper(scm, &wrappers[i], argv[8 + 3 * i], argv[9 + 3 * i], argv[10 + 3 * i]))
            return 1;

    for (int run = 0; run <= runs; run++) {
        int warmup = run == 0;
        double floorToChild = -1, floorToCreated = -1;
        DWORD floorPid = 0;
        HANDLE floor = StartFloor(childExe, floorLog, &floorToChild, &floorToCreated, &floorPid);
        if (floor == NULL)
            return 1;
        fprintf(gOut, "run=%d warmup=%d who=floor start_child=%.2f child_created=%.2f\n", run,
                warmup, floorToChild, floorToCreated);

        Wrapper *order[kMaxWrappers];
        for (int i = 0; i < count; i++)
            order[i] = &wrappers[(run + i) % count];
        LONGLONG lastStart = 0;
        for (int i = 0; i < count; i++) {
            lastStart = Now();
            if (!StartWrapper(order[i]))
                return 1;
            fprintf(gOut,
                    "run=%d warmup=%d who=%s first=%d start_running=%.2f start_child=%.2f "
                    "host_created=%.2f "
                    "child_created=%.2f\n",
                    run, warmup, order[i]->label, i == 0, order[i]->startRunning,
                    order[i]->startChild, order[i]->hostCreated, order[i]->childCreated);
        }
        fflush(gOut);
        while (Ms(lastStart, Now()) < settleMs)
            Sleep(10);

        if (!warmup) {
            // The same windowed child as the floor, but as the first
            // service's child: in the services' window station, as the hosts.
            char childLine[600];
            snprintf(childLine, sizeof childLine, "%s %s window", childExe, wrappers[0].log);
            HANDLE serviceChild = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                              wrappers[0].childPid);
            Footprint hosts[kMaxWrappers], floorFootprint, childFootprint;
            for (int i = 0; i < count; i++)
                ReadFootprint(wrappers[i].host, wrappers[i].hostPid, wrappers[i].image, &hosts[i]);
            ReadFootprint(floor, floorPid, floorLine, &floorFootprint);
            ReadFootprint(serviceChild, wrappers[0].childPid, childLine, &childFootprint);
            Sleep(idleMs);
            ULONGLONG own = CpuTime(GetCurrentProcess());
            gTimesAreCallers = own != 0 && CpuTime(wrappers[count - 1].host) == own;
            for (int i = 0; i < count; i++)
                PrintFootprint(run, wrappers[i].label, hosts[i], CpuTime(wrappers[i].host),
                               UnixCpuNs(hosts[i].unixPid), idleMs);
            PrintFootprint(run, "floor", floorFootprint, CpuTime(floor),
                           UnixCpuNs(floorFootprint.unixPid), idleMs);
            PrintFootprint(run, "svcchild", childFootprint, CpuTime(serviceChild),
                           UnixCpuNs(childFootprint.unixPid), idleMs);
            if (serviceChild)
                CloseHandle(serviceChild);
        }

        for (int i = 0; i < count; i++) {
            double toStopped, toChildEnd, toHostEnd;
            if (!StopWrapper(order[i], &toStopped, &toChildEnd, &toHostEnd))
                return 1;
            fprintf(gOut,
                    "run=%d warmup=%d who=%s first=%d stop_stopped=%.2f stop_child=%.2f "
                    "stop_host=%.2f\n",
                    run, warmup, order[i]->label, i == 0, toStopped, toChildEnd, toHostEnd);
            CloseHandle(order[i]->host);
            order[i]->host = NULL;
        }
        TerminateProcess(floor, 0);
        WaitForSingleObject(floor, 5000);
        CloseHandle(floor);
        fflush(gOut);
    }
    return 0;
}

// The output rows: one writer of the child's output, and the paths under
// its folder.
struct Writer {
    const char *label;
    const char *kind;
    Wrapper service;
    char output[MAX_PATH];
    char result[MAX_PATH];
    char pattern[MAX_PATH];
};

static void EmptyFolder(const Writer &writer)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(writer.pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%.*s%s", (int)(strlen(writer.pattern) - 1), writer.pattern,
                 found.cFileName);
        DeleteLog(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static int WaitEnded(const char *label, HANDLE process, DWORD timeoutMs)
{
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        return 1;
    Fail(label, "output_timeout", 0);
    return 0;
}

// The service runs the writing child and stops by itself when it ends; the
// output is complete when the host has exited (and so closed the file).
static int WriteThroughService(Writer *writer)
{
    Wrapper *w = &writer->service;
    if (!StartWrapper(w))
        return 0;
    LONGLONG begin = Now();
    while (QueryState(w->service, NULL) != SERVICE_STOPPED && Ms(begin, Now()) < 120000)
        Sleep(1);
    int ended = WaitEnded(w->label, w->host, 15000);
    CloseHandle(w->host);
    w->host = NULL;
    return ended;
}

static int WriteThroughCmd(const Writer &writer, const char *childLine)
{
    char line[1024];
    snprintf(line, sizeof line, "cmd.exe /c %s > %s", childLine, writer.output);
    DWORD pid;
    HANDLE cmd = Spawn(writer.label, line, NULL, &pid);
    if (cmd == NULL)
        return 0;
    int ended = WaitEnded(writer.label, cmd, 120000);
    CloseHandle(cmd);
    return ended;
}

// The floor: the plainest copy of the child's output through a pipe.
static int WriteThroughPipe(const Writer &writer, const char *childLine, DWORD block)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        Fail(writer.label, "CreatePipe", GetLastError());
        return 0;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    DWORD pid;
    HANDLE child = Spawn(writer.label, childLine, writeEnd, &pid);
    CloseHandle(writeEnd);
    HANDLE file =
        CreateFileA(writer.output, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    std::vector<char> buffer(block);
    DWORD got, put;
    while (ReadFile(readEnd, buffer.data(), block, &got, NULL) && got != 0)
        WriteFile(file, buffer.data(), got, &put, NULL);
    CloseHandle(file);
    CloseHandle(readEnd);
    int ended = child != NULL && WaitEnded(writer.label, child, 120000);
    if (child)
        CloseHandle(child);
    return ended;
}

// The child's "written" line, its words from "pid=" on; NULL when missing.
static const char *WrittenLine(const char *result)
{
    ReadSmallFile(result, gLogData, sizeof gLogData);
    char *line = strstr(gLogData, "written ");
    if (line == NULL)
        return NULL;
    line[strcspn(line, "\r\n")] = '\0';
    return line + strlen("written ");
}

static int Output(SC_HANDLE scm, int argc, char **argv)
{
    int runs = atoi(argv[3]);
    const char *childExe = argv[4];
    DWORD block = (DWORD)atoi(argv[6]);
    Writer writers[kMaxWrappers];
    int count = (argc - 7) / 4;
    for (int i = 0; i < count; i++) {
        Writer *writer = &writers[i];
        const char *folder = argv[10 + 4 * i];
        writer->label = argv[7 + 4 * i];
        writer->kind = argv[8 + 4 * i];
        snprintf(writer->output, sizeof writer->output, "%s\\out.log", folder);
        snprintf(writer->result, sizeof writer->result, "%s\\result.txt", folder);
        snprintf(writer->pattern, sizeof writer->pattern, "%s\\*", folder);
        if (strcmp(writer->kind, "service") == 0 &&
            !OpenWrapper(scm, &writer->service, writer->label, argv[9 + 4 * i], writer->result))
            return 1;
    }
    for (int run = 0; run <= runs; run++) {
        for (int i = 0; i < count; i++) {
            Writer *writer = &writers[(run + i) % count];
            char childLine[600];
            snprintf(childLine, sizeof childLine, "%s %s write %s %s", childExe, writer->result,
                     argv[5], argv[6]);
            EmptyFolder(*writer);
            int done;
            if (strcmp(writer->kind, "service") == 0)
                done = WriteThroughService(writer);
            else if (strcmp(writer->kind, "cmd") == 0)
                done = WriteThroughCmd(*writer, childLine);
            else
                done = WriteThroughPipe(*writer, childLine, block);
            LONGLONG complete = Now();
            if (!done)
                return 1;
            std::vector<ChildEvent> events = ReadEvents(writer->result);
            const ChildEvent *start = FirstStart(events);
            const char *written = WrittenLine(writer->result);
            if (start == NULL || written == NULL) {
                Fail(writer->label, "no_written_line", 0);
                return 1;
            }
            fprintf(gOut, "run=%d warmup=%d who=%s complete_ms=%.2f %s\n", run, run == 0,
                    writer->label, Ms(start->t, complete), written);
            fflush(gOut);
        }
    }
    return 0;
}

static int Relaunch(SC_HANDLE scm, char **argv)
{
    size_t wanted = (size_t)atoi(argv[3]);
    Wrapper w;
    if (!OpenWrapper(scm, &w, argv[6] ? argv[6] : "wrapper", argv[4], argv[5]))
        return 1;
    if (!StartWrapper(&w))
        return 1;
    fprintf(gOut,
            "who=%s start_running=%.2f start_child=%.2f host_created=%.2f child_created=%.2f\n",
            w.label, w.startRunning, w.startChild, w.hostCreated, w.childCreated);
    fflush(gOut);

    // Each child's creation time, read while it lives (a child lives at
    // least 150 ms; the log is read every 20 ms).
    std::vector<DWORD> pids;
    std::vector<ULONGLONG> created;
    size_t gaps = 0;
    LONGLONG begin = Now();
    std::vector<ChildEvent> events;
    while (gaps < wanted && Ms(begin, Now()) < 60000) {
        Sleep(20);
        events = ReadEvents(w.log);
        gaps = 0;
        for (size_t i = 0; i < events.size(); i++) {
            if (events[i].exit) {
                gaps++;
                continue;
            }
            size_t k = 0;
            while (k < pids.size() && pids[k] != events[i].pid)
                k++;
            if (k == pids.size()) {
                pids.push_back(events[i].pid);
                created.push_back(CreationTimeOf(events[i].pid));
            }
        }
        if (gaps > 0 && events.back().exit)
            gaps--; // the last exit's relaunch has not been seen yet
    }
    // Child i's exit stamp to the next child's creation and first instruction.
    size_t printed = 0;
    for (size_t i = 0; i < events.size() && printed < wanted; i++) {
        if (!events[i].exit)
            continue;
        for (size_t j = i + 1; j < events.size(); j++) {
            if (events[j].exit || events[j].t <= events[i].t)
                continue;
            ULONGLONG when = 0;
            for (size_t k = 0; k < pids.size(); k++)
                if (pids[k] == events[j].pid)
                    when = created[k];
            fprintf(gOut, "who=%s relaunch_created=%.2f relaunch_child=%.2f\n", w.label,
                    MsToCreation(events[i].t, when), Ms(events[i].t, events[j].t));
            printed++;
            break;
        }
    }
    double toStopped, toChildEnd, toHostEnd;
    // The current child may or may not have ended by now: only the
    // service's stop matters here.
    w.childPid = 0;
    int stopped = StopWrapper(&w, &toStopped, &toChildEnd, &toHostEnd);
    if (w.host)
        CloseHandle(w.host);
    if (printed < wanted) {
        Fail(w.label, "too_few_relaunches", (DWORD)printed);
        return 1;
    }
    return stopped ? 0 : 1;
}

int main(int argc, char **argv)
{
    QueryPerformanceFrequency(&gFrequency);
    CalibrateClocks();
    int cycle = argc >= 11 && argc <= 8 + 3 * kMaxWrappers && (argc - 8) % 3 == 0 &&
                strcmp(argv[1], "cycle") == 0;
    int relaunch = argc >= 6 && strcmp(argv[1], "relaunch") == 0;
    int output = argc >= 11 && argc <= 7 + 4 * kMaxWrappers && (argc - 7) % 4 == 0 &&
                 strcmp(argv[1], "output") == 0;
    if (!cycle && !relaunch && !output) {
        fprintf(
            stderr,
            "usage: benchdrv cycle OUT RUNS SETTLE_MS IDLE_MS CHILD FLOORLOG LABEL NAME LOG ...\n"
            "       benchdrv relaunch OUT GAPS NAME LOG [LABEL]\n"
            "       benchdrv output OUT RUNS CHILD BYTES BLOCK LABEL KIND NAME FOLDER ...\n");
        return 2;
    }
    gOut = fopen(argv[2], "w");
    if (gOut == NULL)
        return 2;
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (scm == NULL) {
        Fail("driver", "OpenSCManager", GetLastError());
        return 1;
    }
    int code;
    if (cycle)
        code = Cycle(scm, argc, argv);
    else if (relaunch)
        code = Relaunch(scm, argv);
    else
        code = Output(scm, argc, argv);
    CloseServiceHandle(scm);
    fclose(gOut);
    return code;
}
