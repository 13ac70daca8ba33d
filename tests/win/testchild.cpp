// testchild: the program that the tests have tavi start, stop and restart.
//   testchild --log FILE [--windows] [--ignore-close] [--hang] [--exit N]
//             [--run-ms N] [--probe-group] [--crash] [--count FILE]
//   testchild --kill PID[,PID...]
//   testchild --control NAME CODE TIMEOUT_MS
//   testchild --try-launch HEXLINE HEXDIR
//   testchild --open-mutex NAME
// Every event is appended to FILE (without --log: the program's own path
// followed by ".log") as one line (opened, appended and closed
// per line, so that children running side by side can share one file):
//   start pid= ppid= tick= exe=HEX cmdline=HEX cwd=HEX console=0|1 conwin=HEX
//         conprocs=PID,PID|none ctrlc_disabled=0|1
//   probe group=0|1          (--probe-group, see below)
//   msg window=main|owned msg=WM_CLOSE|SC_CLOSE from=outside|defproc tick=
//   ctrl type=N tick=
//   exit code=N tick=
// HEX is the hex of ANSI bytes (GetModuleFileNameA, GetCommandLineA,
// GetCurrentDirectoryA).
// console: a console is attached (CONOUT$ opens); conwin: GetConsoleWindow;
// conprocs: GetConsoleProcessList, "none" where the platform has no answer;
// ctrlc_disabled: bit 0 of the process parameters' ConsoleFlags, which the
// platform sets for a process started with CREATE_NEW_PROCESS_GROUP.
//
// --windows: an unowned top-level window "tavi test child" and a window it
// owns; WM_CLOSE on the main window destroys it and the process exits 0,
// WM_SYSCOMMAND/SC_CLOSE goes to DefWindowProc, whose own WM_CLOSE is logged
// with from=defproc. --ignore-close logs both and does nothing else. --hang
// stops taking messages once the windows exist.
// --exit N: exit with N right after the start line. --run-ms N: exit 0 after
// N ms whatever else happens. Without these it runs until a console control
// event or a window close ends it, or it is killed.
// --crash: an access violation right after the start line; the process
// ends with exit code 0xC0000005 (its own last-chance filter keeps Wine from
// starting a debugger).
// --count FILE: appends one byte to FILE at the start; with --count and
// without --log nothing else is written anywhere (a cheap start counter for
// long runs).
// --probe-group: with Ctrl+C enabled again, sends Ctrl+C to the process group
// whose id is this process's id; it arrives only when this process leads a
// process group on its console (Wine delivers Ctrl+C per group).
// --kill: terminates those of the listed processes that are testchild
// processes (whatever their file name).
// --control: ControlService(NAME, CODE) and the time until the service
// reports SERVICE_STOPPED, measured here so that no process start is in it:
// ok= error= state= control_ms= stopped_ms= (-1 when not stopped in time).
// --try-launch: what CreateProcessA answers for this command line and
// working directory (given as hex of their bytes): error=N, 0 when it
// started (the process is then ended at once).
// --open-mutex: exists=1 when a mutex of that name exists, else exists=0.
#include <windows.h>
#include "process_info.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *gLogPath;
static HWND gMain;
static HWND gOwned;
static bool gIgnoreClose;
static volatile LONG gInDefSysClose;
static volatile LONG gProbing;
static HANDLE gProbeEvent;

static void LogExit(UINT code);

static void AppendHex(char *out, size_t size, const char *text)
{
    size_t used = strlen(out);
    for (const unsigned char *p = (const unsigned char *)text; *p && used + 3 < size; p++)
        used += snprintf(out + used, size - used, "%02x", *p);
}

static void LogLine(const char *line)
{
    if (gLogPath == NULL)
        return;
    // Children of one test may write at once: retry while another holds it.
    for (int attempt = 0; attempt < 200; attempt++) {
        HANDLE file = CreateFileA(gLogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
            WriteFile(file, "\r\n", 2, &written, NULL);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
}

// The crash of --crash ends the process as an unhandled exception would,
// with the exception code as exit code, but without the platform's debugger.
static LONG WINAPI EndOnException(EXCEPTION_POINTERS *pointers)
{
    LogExit(pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

static void Crash(void)
{
    SetUnhandledExceptionFilter(EndOnException);
    *(volatile int *)(ULONG_PTR)0 = 1;
}

static void CountStart(const char *path)
{
    for (int attempt = 0; attempt < 200; attempt++) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(file, "s", 1, &written, NULL);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
}

static void LogExit(UINT code)
{
    char line[128];
    snprintf(line, sizeof line, "exit code=%u tick=%lu", code, GetTickCount());
    LogLine(line);
}

static DWORD ParentProcessId(void)
{
    PROCESSENTRY32 entry = {};
    return FindProcessEntry(GetCurrentProcessId(), &entry) ? entry.th32ParentProcessID : 0;
}

// RTL_USER_PROCESS_PARAMETERS.ConsoleFlags; the public headers leave the
// field out, so it is read at its fixed place after the console handle, and
// the process parameters at theirs in the PEB.
static ULONG ConsoleFlags(void)
{
    typedef BYTE *(WINAPI * GetPeb)(void);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    GetPeb getPeb = (GetPeb)(void *)GetProcAddress(ntdll, "RtlGetCurrentPeb");
    if (getPeb == NULL)
        return 0;
    BYTE *params = *(BYTE **)(getPeb() + 4 * sizeof(void *));
    return *(ULONG *)(params + 16 + sizeof(void *));
}

static int ConsoleAttached(void)
{
    HANDLE output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (output == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(output);
    return 1;
}

static void LogStart(void)
{
    static char line[4096];
    char directory[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    char module[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    snprintf(line, sizeof line, "start pid=%lu ppid=%lu tick=%lu exe=", GetCurrentProcessId(),
             ParentProcessId(), GetTickCount());
    AppendHex(line, sizeof line, module);
    strcat(line, " cmdline=");
    AppendHex(line, sizeof line, GetCommandLineA());
    strcat(line, " cwd=");
    AppendHex(line, sizeof line, directory);
    size_t used = strlen(line);
    used += snprintf(line + used, sizeof line - used, " console=%d conwin=%llx conprocs=",
                     ConsoleAttached(), (unsigned long long)(ULONG_PTR)GetConsoleWindow());
    DWORD processes[64];
    DWORD count = GetConsoleProcessList(processes, 64);
    if (count == 0 || count > 64)
        used += snprintf(line + used, sizeof line - used, "none");
    for (DWORD i = 0; i < count && i < 64; i++)
        used += snprintf(line + used, sizeof line - used, "%s%lu", i ? "," : "", processes[i]);
    snprintf(line + used, sizeof line - used, " ctrlc_disabled=%lu", ConsoleFlags() & 1);
    LogLine(line);
}

static BOOL WINAPI ControlHandler(DWORD type)
{
    char line[64];
    snprintf(line, sizeof line, "ctrl type=%lu tick=%lu", type, GetTickCount());
    LogLine(line);
    if (gProbing && type == CTRL_C_EVENT) {
        SetEvent(gProbeEvent);
        return TRUE;
    }
    LogExit(STATUS_CONTROL_C_EXIT);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

static void ProbeGroup(void)
{
    gProbeEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    gProbing = 1;
    SetConsoleCtrlHandler(NULL, FALSE);
    int arrived = GenerateConsoleCtrlEvent(CTRL_C_EVENT, GetCurrentProcessId()) &&
                  WaitForSingleObject(gProbeEvent, 3000) == WAIT_OBJECT_0;
    gProbing = 0;
    char line[32];
    snprintf(line, sizeof line, "probe group=%d", arrived);
    LogLine(line);
}

static void LogMessage(HWND window, const char *message)
{
    char line[128];
    snprintf(line, sizeof line, "msg window=%s msg=%s from=%s tick=%lu",
             window == gMain ? "main" : "owned", message,
             gInDefSysClose ? "defproc" : "outside", GetTickCount());
    LogLine(line);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != SC_CLOSE)
            break;
        LogMessage(window, "SC_CLOSE");
        if (gIgnoreClose)
            return 0;
        {
            // DefWindowProc answers SC_CLOSE by sending WM_CLOSE itself.
            InterlockedIncrement(&gInDefSysClose);
            LRESULT result = DefWindowProcA(window, message, wParam, lParam);
            InterlockedDecrement(&gInDefSysClose);
            return result;
        }
    case WM_CLOSE:
        LogMessage(window, "WM_CLOSE");
        if (!gIgnoreClose)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (window == gMain)
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Every top-level window of this process, as the stop request's enumeration
// sees them: the platform may add windows of its own (an IME window).
static BOOL CALLBACK LogTopWindowProc(HWND window, LPARAM)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId())
        return TRUE;
    char windowClass[64] = "";
    GetClassNameA(window, windowClass, sizeof windowClass);
    char line[160];
    snprintf(line, sizeof line, "topwin hwnd=%llx owner=%llx visible=%d class=",
             (unsigned long long)(ULONG_PTR)window,
             (unsigned long long)(ULONG_PTR)GetWindow(window, GW_OWNER), IsWindowVisible(window));
    AppendHex(line, sizeof line, windowClass);
    LogLine(line);
    return TRUE;
}

static int RunWindows(bool hang)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TaviTestChild";
    RegisterClassA(&windowClass);
    gMain = CreateWindowExA(0, "TaviTestChild", "tavi test child", WS_OVERLAPPEDWINDOW, 40, 40, 320,
                            200, NULL, NULL, windowClass.hInstance, NULL);
    gOwned = CreateWindowExA(0, "TaviTestChild", "tavi test child owned", WS_OVERLAPPEDWINDOW, 80,
                             80, 240, 150, gMain, NULL, windowClass.hInstance, NULL);
    ShowWindow(gMain, SW_SHOWNORMAL);
    ShowWindow(gOwned, SW_SHOWNORMAL);
    char line[96];
    snprintf(line, sizeof line, "windows main=%llx owned=%llx tick=%lu",
             (unsigned long long)(ULONG_PTR)gMain, (unsigned long long)(ULONG_PTR)gOwned,
             GetTickCount());
    LogLine(line);
    EnumWindows(LogTopWindowProc, 0);
    if (hang)
        Sleep(INFINITE);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

static DWORD WINAPI ExitLater(void *milliseconds)
{
    Sleep((DWORD)(ULONG_PTR)milliseconds);
    LogExit(0);
    ExitProcess(0);
}

// Each child holds a mutex named after its process id for its whole life, so
// that --kill can tell a testchild (under whatever file name) from another
// process that got the same id later.
static void MarkerName(char *out, size_t size, DWORD processId)
{
    snprintf(out, size, "tavi-testchild-%lu", processId);
}

static int IsTestChild(DWORD processId)
{
    char name[64];
    MarkerName(name, sizeof name, processId);
    HANDLE marker = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (marker == NULL)
        return 0;
    CloseHandle(marker);
    return 1;
}

// Ends children that a test left running (one that ignored its stop request
// outlives its host). Only processes that carry a testchild's marker are
// touched.
static int KillChildren(char *list)
{
    for (char *item = strtok(list, ","); item; item = strtok(NULL, ",")) {
        DWORD processId = strtoul(item, NULL, 10);
        if (!IsTestChild(processId))
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
        if (process == NULL)
            continue;
        if (TerminateProcess(process, 1))
            WaitForSingleObject(process, 5000);
        printf("killed=%lu\n", processId);
        CloseHandle(process);
    }
    return 0;
}

static int ControlAndTime(const char *name, DWORD code, DWORD timeout)
{
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    DWORD access = SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_QUERY_STATUS |
                   SERVICE_USER_DEFINED_CONTROL;
    SC_HANDLE service = scm ? OpenServiceA(scm, name, access) : NULL;
    if (service == NULL) {
        printf("open_error=%lu\n", GetLastError());
        if (scm)
            CloseServiceHandle(scm);
        return 2;
    }
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    DWORD start = GetTickCount();
    BOOL ok = ControlService(service, code, &status);
    DWORD error = ok ? 0 : GetLastError();
    DWORD controlMs = GetTickCount() - start;
    long stoppedMs = -1;
    for (;;) {
        SERVICE_STATUS now;
        if (QueryServiceStatus(service, &now) && now.dwCurrentState == SERVICE_STOPPED) {
            stoppedMs = (long)(GetTickCount() - start);
            break;
        }
        if (GetTickCount() - start > timeout)
            break;
        Sleep(10);
    }
    printf("ok=%d\nerror=%lu\nstate=%lu\ncontrol_ms=%lu\nstopped_ms=%ld\n", ok ? 1 : 0, error,
           status.dwCurrentState, controlMs, stoppedMs);
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return 0;
}

static void Unhex(char *out, size_t size, const char *hex)
{
    size_t used = 0;
    for (; hex[0] && hex[1] && used + 1 < size; hex += 2) {
        char pair[3] = {hex[0], hex[1], 0};
        out[used++] = (char)strtoul(pair, NULL, 16);
    }
    out[used] = 0;
}

static int TryLaunch(const char *hexLine, const char *hexDirectory)
{
    static char line[32768];
    char directory[MAX_PATH * 2];
    Unhex(line, sizeof line, hexLine);
    Unhex(directory, sizeof directory, hexDirectory);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    DWORD error = 0;
    if (CreateProcessA(NULL, line, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, directory, &startup,
                       &process)) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        error = GetLastError();
    }
    printf("error=%lu\n", error);
    return 0;
}

int main(int argc, char **argv)
{
    bool windows = false, hang = false, probeGroup = false, exitAtOnce = false, crash = false;
    const char *countPath = NULL;
    UINT exitCode = 0;
    DWORD runMs = 0;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!strcmp(arg, "--kill") && i + 1 < argc)
            return KillChildren(argv[i + 1]);
        if (!strcmp(arg, "--control") && i + 3 < argc)
            return ControlAndTime(argv[i + 1], strtoul(argv[i + 2], NULL, 0),
                                  strtoul(argv[i + 3], NULL, 0));
        if (!strcmp(arg, "--open-mutex") && i + 1 < argc) {
            HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, argv[i + 1]);
            printf("exists=%d\n", mutex != NULL);
            if (mutex)
                CloseHandle(mutex);
            return 0;
        }
        if (!strcmp(arg, "--try-launch") && i + 2 < argc)
            return TryLaunch(argv[i + 1], argv[i + 2]);
        if (!strcmp(arg, "--log") && i + 1 < argc)
            gLogPath = argv[++i];
        else if (!strcmp(arg, "--windows"))
            windows = true;
        else if (!strcmp(arg, "--ignore-close"))
            gIgnoreClose = true;
        else if (!strcmp(arg, "--hang"))
            hang = true;
        else if (!strcmp(arg, "--probe-group"))
            probeGroup = true;
        else if (!strcmp(arg, "--crash"))
            crash = true;
        else if (!strcmp(arg, "--count") && i + 1 < argc)
            countPath = argv[++i];
        else if (!strcmp(arg, "--exit") && i + 1 < argc) {
            exitAtOnce = true;
            exitCode = strtoul(argv[++i], NULL, 10);
        } else if (!strcmp(arg, "--run-ms") && i + 1 < argc)
            runMs = strtoul(argv[++i], NULL, 10);
    }
    if (countPath != NULL) {
        CountStart(countPath);
        if (gLogPath == NULL && exitAtOnce)
            return (int)exitCode;
    }
    static char defaultLog[MAX_PATH + 8];
    if (gLogPath == NULL && countPath == NULL && GetModuleFileNameA(NULL, defaultLog, MAX_PATH)) {
        strcat(defaultLog, ".log");
        gLogPath = defaultLog;
    }
    char marker[64];
    MarkerName(marker, sizeof marker, GetCurrentProcessId());
    CreateMutexA(NULL, FALSE, marker);
    LogStart();
    if (crash)
        Crash();
    if (exitAtOnce) {
        LogExit(exitCode);
        return (int)exitCode;
    }
    SetConsoleCtrlHandler(ControlHandler, TRUE);
    if (probeGroup)
        ProbeGroup();
    if (runMs)
        CloseHandle(CreateThread(NULL, 0, ExitLater, (void *)(ULONG_PTR)runMs, 0, NULL));
    int code = 0;
    if (windows)
        code = RunWindows(hang);
    else
        Sleep(INFINITE);
    LogExit(code);
    return code;
}
