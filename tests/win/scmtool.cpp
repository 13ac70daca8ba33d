// scmtool: reads and drives the service control manager for the tests.
//   scmtool config NAME       type= start= error= path=HEX account= display=HEX description=HEX
//   scmtool status NAME       state= exit= specific= checkpoint= waithint= controls= pid=
//   scmtool exists NAME       exit 0 when registered, 1 when not
//   scmtool start NAME [STATE TIMEOUT_MS]   ok= error=, then waits as wait does
//   scmtool control NAME CODE ok= error= state=
//   scmtool delete NAME       ok= error=
//   scmtool wait NAME STATE TIMEOUT_MS   exit 0 once the state is reached, 1 at the time-out;
//                             waiting=1 at once, then elapsed= exit= specific= of the
//                             status that reached it
//   scmtool create NAME PATH STARTTYPE TYPE   registers a service directly
//   scmtool proc PID          handles= private= workingset= threads= of a process
//                             (bytes; exit 2 when it cannot be opened)
// Texts are printed as hex of their ANSI bytes. Exit 2 when the service
// cannot be opened.
// When a service stops by itself, Wine replaces the exit code it reported by
// 1077 within about a second of its process's end: that code is seen only by
// a wait that was under way when the service stopped.
#include <windows.h>
// K32GetProcessMemoryInfo lives in kernel32: no psapi library to link.
#define PSAPI_VERSION 2
#include <psapi.h>
#include "process_info.h"
#include <stdio.h>
#include <stdlib.h>

static void PrintHex(const char *key, const char *text)
{
    printf("%s=", key);
    for (const unsigned char *p = (const unsigned char *)(text ? text : ""); *p; p++)
        printf("%02x", *p);
    printf("\n");
}

static SC_HANDLE OpenNamed(SC_HANDLE scm, const char *name)
{
    SC_HANDLE service = OpenServiceA(scm, name, SERVICE_ALL_ACCESS);
    if (service == NULL)
        printf("open_error=%lu\n", GetLastError());
    return service;
}

static int Config(SC_HANDLE service)
{
    static BYTE buffer[8192];
    DWORD needed = 0;
    QUERY_SERVICE_CONFIGA *config = (QUERY_SERVICE_CONFIGA *)buffer;
    if (!QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
        printf("error=%lu\n", GetLastError());
        return 1;
    }
    printf("type=%lu\nstart=%lu\nerror=%lu\n", config->dwServiceType, config->dwStartType,
           config->dwErrorControl);
    PrintHex("path", config->lpBinaryPathName);
    printf("account=%s\n", config->lpServiceStartName ? config->lpServiceStartName : "");
    PrintHex("display", config->lpDisplayName);
    PrintHex("group", config->lpLoadOrderGroup);
    static BYTE described[8192];
    SERVICE_DESCRIPTIONA *description = (SERVICE_DESCRIPTIONA *)described;
    if (QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, described, sizeof described,
                             &needed))
        PrintHex("description", description->lpDescription);
    else
        printf("description_error=%lu\n", GetLastError());
    return 0;
}

static int Status(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&status, sizeof status,
                              &needed)) {
        printf("error=%lu\n", GetLastError());
        return 1;
    }
    printf("state=%lu\nexit=%lu\nspecific=%lu\ncheckpoint=%lu\nwaithint=%lu\ncontrols=%lu\npid=%lu\n",
           status.dwCurrentState, status.dwWin32ExitCode, status.dwServiceSpecificExitCode,
           status.dwCheckPoint, status.dwWaitHint, status.dwControlsAccepted, status.dwProcessId);
    return 0;
}

static int Wait(SC_HANDLE service, DWORD state, DWORD timeout)
{
    // Tells a caller that runs this in the background that the watch is on.
    printf("waiting=1\n");
    fflush(stdout);
    DWORD start = GetTickCount();
    for (;;) {
        SERVICE_STATUS status;
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == state) {
            printf("elapsed=%lu\nexit=%lu\nspecific=%lu\n", GetTickCount() - start,
                   status.dwWin32ExitCode, status.dwServiceSpecificExitCode);
            return 0;
        }
        if (GetTickCount() - start > timeout) {
            printf("timeout state=%lu\n", status.dwCurrentState);
            return 1;
        }
        Sleep(20);
    }
}

static DWORD ProcessThreads(DWORD processId)
{
    PROCESSENTRY32 entry = {};
    return FindProcessEntry(processId, &entry) ? entry.cntThreads : 0;
}

// The figures a leak shows in: open handles, private bytes, working set and
// threads of another process.
static int ProcessFigures(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == NULL) {
        printf("open_error=%lu\n", GetLastError());
        return 2;
    }
    PROCESS_MEMORY_COUNTERS_EX memory;
    ZeroMemory(&memory, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS *)&memory, sizeof memory);
    // Wine fills only the first record of the counters; there, as on
    // Windows, the page-file usage is the private commit.
    SIZE_T privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    printf("handles=%lu\nprivate=%llu\nworkingset=%llu\nthreads=%lu\n",
           CountProcessHandles(process, processId), (unsigned long long)privateBytes,
           (unsigned long long)memory.WorkingSetSize, ProcessThreads(processId));
    CloseHandle(process);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: scmtool COMMAND NAME ...\n");
        return 2;
    }
    const char *command = argv[1];
    const char *name = argv[2];
    if (!lstrcmpA(command, "proc"))
        return ProcessFigures(strtoul(name, NULL, 10));
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (scm == NULL) {
        printf("scm_error=%lu\n", GetLastError());
        return 2;
    }
    int result = 0;
    if (!lstrcmpA(command, "create") && argc >= 6) {
        SC_HANDLE service = CreateServiceA(scm, name, name, SERVICE_ALL_ACCESS,
                                           strtoul(argv[5], NULL, 0), strtoul(argv[4], NULL, 0),
                                           SERVICE_ERROR_NORMAL, argv[3], NULL, NULL, NULL, NULL,
                                           NULL);
        printf("ok=%d\nerror=%lu\n", service != NULL, service ? 0 : GetLastError());
        result = service ? 0 : 1;
        if (service)
            CloseServiceHandle(service);
        CloseServiceHandle(scm);
        return result;
    }
    SC_HANDLE service = OpenNamed(scm, name);
    if (service == NULL) {
        CloseServiceHandle(scm);
        return !lstrcmpA(command, "exists") ? 1 : 2;
    }
    if (!lstrcmpA(command, "config")) {
        result = Config(service);
    } else if (!lstrcmpA(command, "status")) {
        result = Status(service);
    } else if (!lstrcmpA(command, "exists")) {
        result = 0;
    } else if (!lstrcmpA(command, "start")) {
        BOOL ok = StartServiceA(service, 0, NULL);
        printf("ok=%d\nerror=%lu\n", ok ? 1 : 0, ok ? 0 : GetLastError());
        result = ok ? 0 : 1;
        if (ok && argc >= 5)
            result = Wait(service, strtoul(argv[3], NULL, 0), strtoul(argv[4], NULL, 0));
    } else if (!lstrcmpA(command, "control") && argc >= 4) {
        SERVICE_STATUS status;
        ZeroMemory(&status, sizeof status);
        BOOL ok = ControlService(service, strtoul(argv[3], NULL, 0), &status);
        printf("ok=%d\nerror=%lu\nstate=%lu\n", ok ? 1 : 0, ok ? 0 : GetLastError(),
               status.dwCurrentState);
        result = ok ? 0 : 1;
    } else if (!lstrcmpA(command, "delete")) {
        BOOL ok = DeleteService(service);
        printf("ok=%d\nerror=%lu\n", ok ? 1 : 0, ok ? 0 : GetLastError());
        result = ok ? 0 : 1;
    } else if (!lstrcmpA(command, "wait") && argc >= 5) {
        result = Wait(service, strtoul(argv[3], NULL, 0), strtoul(argv[4], NULL, 0));
    } else {
        fprintf(stderr, "unknown command\n");
        result = 2;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return result;
}
