// probe: the Windows side of the tests. Verbs, several at once split by ";" arguments, print one
// record a line, "kind key=value ...", texts in hex:
//   run DIR LINE TIMEOUT [BUTTON...|any]  starts LINE in DIR, answers its boxes with these buttons in
//       order ("any": others answer them), then "exit code=N|timeout"
//   box CAPTION BUTTON TIMEOUT [PID]  waits for a box, prints it, presses
//   win TITLE TIMEOUT [PID]  the window that dump, set ID TEXT, check ID N, select ID N, click ID,
//       key VK, close, help, drop FILE..., enabled MS drive
//   scm NAME status|config|delete|start|create PATH START TYPE|control CODE|watch STATE MS
//   mutex NAME [hold] | alive PID... | kill PID... (of children; "=PID": any) | strings EXE
//   lock FILE  holds FILE open, sharing reading only, until killed
// Started with anything else, it is the test child (see Child below).
#include <windows.h>
#include <shlobj.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *Hex(const char *text)
{
    static char out[4][8192];
    static int turn;
    char *o = out[turn++ & 3], *w = o;
    for (const unsigned char *p = (const unsigned char *)text; *p && w < o + sizeof out[0] - 3; p++)
        w += sprintf(w, "%02x", *p);
    return *w = 0, o;
}

static char *Unhex(const char *hex)
{
    char *out = (char *)calloc(strlen(hex) / 2 + 1, 1);
    for (size_t i = 0; hex[2 * i] && hex[2 * i + 1]; i++)
        sscanf(hex + 2 * i, "%2hhx", (unsigned char *)&out[i]);
    return out;
}

static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = (DWORD_PTR)-1;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
    return (LRESULT)result;
}

static DWORD gStart = GetTickCount(); // "ms" fields count from here
static HWND gWindow;

// A visible top-level window of process pid (any: 0) titled title, or a
// message box when title is NULL.
static HWND Find(const char *title, DWORD pid, DWORD timeout)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start <= timeout; Sleep(20))
        for (HWND w = NULL; (w = FindWindowExA(NULL, w, title ? NULL : "#32770", title));) {
            DWORD of = 0;
            GetWindowThreadProcessId(w, &of);
            if (IsWindowVisible(w) && (!pid || of == pid))
                return w;
        }
    return NULL;
}

// Prints the box, then presses the button named (ok, yes, no; else none).
static void Answer(HWND box, const char *button)
{
    char caption[1024], text[4096];
    int id = !strcmp(button, "ok") ? IDOK : !strcmp(button, "yes") ? IDYES : !strcmp(button, "no") ? IDNO : 0;
    Sleep(200); // let the box finish laying itself out
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    printf("box caption=%s text=%s owner=%llx buttons=", Hex(caption), Hex(text), (unsigned long long)(UINT_PTR)GetWindow(box, GW_OWNER));
    for (HWND c = NULL; (c = FindWindowExA(box, c, "Button", NULL));)
        IsWindowVisible(c) && printf("%d,", GetDlgCtrlID(c));
    printf("\n");
    if (id)
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
}

static void Run(char **argv, int argc)
{
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, Unhex(argv[1]), NULL, NULL, FALSE, 0, NULL, argv[0], &startup, &process))
        return (void)printf("exit code=nostart\n");
    printf("started pid=%lu\n", process.dwProcessId);
    DWORD code = 0, any = argc > 3 && !strcmp(argv[3], "any"), timedOut = 0;
    for (int next = 3; WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT; fflush(stdout)) {
        HWND box = any ? NULL : Find(NULL, process.dwProcessId, 0);
        if (box) // answered with the buttons given, in order; "ok" when they are used up
            Answer(box, next < argc ? argv[next++] : "ok");
        while (box && IsWindow(box) && WaitForSingleObject(process.hProcess, 20))
            ;
        if (GetTickCount() - gStart > strtoul(argv[2], NULL, 10))
            timedOut = TerminateProcess(process.hProcess, 1);
    }
    GetExitCodeProcess(process.hProcess, &code);
    timedOut ? printf("exit code=timeout\n") : printf("exit code=%lu\n", code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

static void Dump(void)
{
    RECT r, a;
    GetWindowRect(gWindow, &r);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &a, 0);
    printf("window hwnd=%llx exstyle=%lx enabled=%d owner=%llx offcentre=%ld\n", (unsigned long long)(UINT_PTR)gWindow,
           GetWindowLongA(gWindow, GWL_EXSTYLE), IsWindowEnabled(gWindow), (unsigned long long)(UINT_PTR)GetWindow(gWindow, GW_OWNER),
           labs(r.left + r.right - a.left - a.right) + labs(r.top + r.bottom - a.top - a.bottom));
    for (HWND c = NULL; (c = FindWindowExA(gWindow, c, NULL, NULL));) { // the controls, in tab order
        char text[1024] = "";
        Send(c, WM_GETTEXT, sizeof text, (LPARAM)text);
        printf("control id=%d style=%lx enabled=%d text=%s check=%d limit=%d cursel=%d\n", GetDlgCtrlID(c),
               GetWindowLongA(c, GWL_STYLE), IsWindowEnabled(c), Hex(text), (int)Send(c, BM_GETCHECK, 0, 0),
               (int)Send(c, EM_GETLIMITTEXT, 0, 0), (int)Send(c, CB_GETCURSEL, 0, 0));
    }
}

// A real HDROP in the window's process: a DROPFILES block written into its
// memory. Wine takes a page-aligned address for a fixed global handle.
static void Drop(char **files, int count)
{
    char block[4096] = {0}, *w = block + sizeof(DROPFILES);
    ((DROPFILES *)block)->pFiles = sizeof(DROPFILES);
    for (int i = 0; i < count; i++)
        w += strlen(strcpy(w, Unhex(files[i]))) + 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(gWindow, &pid);
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    void *remote = VirtualAllocEx(process, NULL, sizeof block, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(process, remote, block, sizeof block, NULL);
    PostMessageA(gWindow, WM_DROPFILES, (WPARAM)remote, 0);
    CloseHandle(process);
}

static void Scm(char **argv, int argc)
{
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), service;
    const char *name = argv[0], *verb = argv[1];
    service = !strcmp(verb, "create") ? CreateServiceA(scm, name, name, SERVICE_ALL_ACCESS, atoi(argv[4]), atoi(argv[3]),
                                                       SERVICE_ERROR_NORMAL, argv[2], NULL, NULL, NULL, NULL, NULL)
                                      : OpenServiceA(scm, name, SERVICE_ALL_ACCESS);
    BOOL ok = service != NULL;
    SERVICE_STATUS_PROCESS s = {}, last = {};
    SERVICE_STATUS plain;
    DWORD needed, start = GetTickCount(), want = argc > 3 ? atoi(argv[2]) : 0, timeout = argc > 3 ? atoi(argv[3]) : 0;
    if (ok && !strcmp(verb, "config")) {
        static BYTE config[8192], described[8192];
        QUERY_SERVICE_CONFIGA *c = (QUERY_SERVICE_CONFIGA *)config;
        QueryServiceConfigA(service, c, sizeof config, &needed);
        QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, described, sizeof described, &needed);
        const char *d = ((SERVICE_DESCRIPTIONA *)described)->lpDescription;
        printf("config type=%lu start=%lu error=%lu account=%s path=%s display=%s description=%s\n", c->dwServiceType,
               c->dwStartType, c->dwErrorControl, c->lpServiceStartName, Hex(c->lpBinaryPathName), Hex(c->lpDisplayName),
               Hex(d ? d : ""));
    }
    if (ok && (!strcmp(verb, "delete") || !strcmp(verb, "start") || !strcmp(verb, "control")))
        ok = *verb == 'd' ? DeleteService(service) : *verb == 's' ? StartServiceA(service, 0, NULL)
                                                                 : ControlService(service, atoi(argv[2]), &plain);
    printf("result ok=%d error=%lu ms=%lu\n", ok, ok ? 0 : GetLastError(), GetTickCount() - gStart);
    // The status after the verb; with watch, each change until the state wanted.
    while (service && strcmp(verb, "config") && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&s, sizeof s, &needed)) {
        if (memcmp(&s, &last, sizeof s))
            printf("status state=%lu exit=%lu specific=%lu checkpoint=%lu hint=%lu controls=%lu pid=%lu ms=%lu\n", s.dwCurrentState,
                   s.dwWin32ExitCode, s.dwServiceSpecificExitCode, s.dwCheckPoint, s.dwWaitHint, s.dwControlsAccepted,
                   s.dwProcessId, GetTickCount() - gStart);
        fflush(stdout);
        if ((last = s).dwCurrentState == want || GetTickCount() - start >= timeout)
            break;
        Sleep(10);
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

// Child: logs to --log FILE (else its path + ".log") "start pid= tick= cmd= cwd= conprocs= group="
// (group 1: it leads a console process group), "windows", "msg win=main|owned msg=WM_CLOSE|SC_CLOSE
// from=outside|defproc" and "exit code=". Options, anywhere in its command line whatever the quotes:
// --windows: an unowned window and one it owns (WM_CLOSE ends it, SC_CLOSE goes to DefWindowProc);
// --streams, --pour N: writes to its standard output and error; --read: logs "input" if its input ends;
// --ignore: ignores close messages; --hang: takes no messages once its windows exist; --exit N; --run
// MS: ends with 0 after MS; --wait: runs until ended; --spawn: starts a copy (a grandchild) first,
// which inherits its handles. "start" also gives the type of its standard output (3: a pipe).
// Without these it ends at once with 0.
static char gLog[MAX_PATH];
static HWND gMain;
static int gIgnore, gInDefProc;

static void Log(const char *format, ...) // children share one log, opened for each line
{
    char line[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    HANDLE f = CreateFileA(gLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD n = strlen(strcat(line, "\r\n"));
    WriteFile(f, line, n, &n, NULL);
    CloseHandle(f);
}

static LRESULT CALLBACK ChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    int close = m == WM_CLOSE, sysclose = m == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE;
    if (close || sysclose) {
        Log("msg win=%s msg=%s from=%s", w == gMain ? "main" : "owned", close ? "WM_CLOSE" : "SC_CLOSE", gInDefProc ? "defproc" : "outside");
        if (gIgnore)
            return 0;
        if (close)
            return DestroyWindow(w), 0;
        gInDefProc++; // DefWindowProc answers SC_CLOSE with a WM_CLOSE of its own
        LRESULT r = DefWindowProcA(w, m, wp, lp);
        return gInDefProc--, r;
    }
    if (m == WM_DESTROY && w == gMain)
        PostQuitMessage(0);
    return DefWindowProcA(w, m, wp, lp);
}

static DWORD WINAPI EndLater(void *ms)
{
    Sleep((DWORD)(UINT_PTR)ms);
    return Log("exit code=0"), ExitProcess(0), 0;
}

static DWORD WINAPI ReadInput(void *)
{
    char byte;
    DWORD read = 0;
    BOOL ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, NULL);
    return Log("input ok=%d read=%lu error=%lu", ok, read, ok ? 0 : GetLastError()), 0;
}

// The option's value (after a blank or "="), or NULL when it is not given.
static const char *Option(const char *name)
{
    const char *at = strstr(GetCommandLineA(), name);
    return at ? at + strlen(name) + (at[strlen(name)] == ' ' || at[strlen(name)] == '=') : NULL;
}

static int Child(void)
{
    char self[MAX_PATH], mark[64], cwd[MAX_PATH] = "", procs[200] = "", line[1024];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    sprintf(mark, "probe-child-%lu", GetCurrentProcessId());
    CreateMutexA(NULL, FALSE, mark); // tells "kill" that this pid is a test child
    sprintf(gLog, "%s.log", self);
    if (Option("--log"))
        sscanf(Option("--log"), "%259s", gLog);
    gIgnore = Option("--ignore") != NULL;
    if (Option("--run"))
        CloseHandle(CreateThread(NULL, 0, EndLater, (void *)(UINT_PTR)atoi(Option("--run")), 0, NULL));
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    snprintf(line, sizeof line, "\"%s\" --log %s --wait", self, gLog);
    if (Option("--spawn") && CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi))
        CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
    GetCurrentDirectoryA(sizeof cwd, cwd);
    DWORD list[16], n = GetConsoleProcessList(list, 16);
    for (DWORD i = 0; i < n && i < 16; i++)
        sprintf(procs + strlen(procs), "%s%lu", i ? "," : "", list[i]);
    // Bit 0 of the process parameters' ConsoleFlags, which the public headers
    // omit: set for a process started with CREATE_NEW_PROCESS_GROUP.
    BYTE *(WINAPI * peb)(void) = (BYTE * (WINAPI *)(void))(void *)GetProcAddress(GetModuleHandleA("ntdll"), "RtlGetCurrentPeb");
    BYTE *params = *(BYTE **)(peb() + 4 * sizeof(void *));
    Log("start pid=%lu tick=%lu out=%lu cmd=%s cwd=%s conprocs=%s group=%lu", GetCurrentProcessId(), GetTickCount(), GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)),
        Hex(GetCommandLineA()), Hex(cwd), n ? procs : "none", *(ULONG *)(params + 16 + sizeof(void *)) & 1);
    if (Option("--read")) // standard input: tavi's is a pipe that never ends
        CloseHandle(CreateThread(NULL, 0, ReadInput, NULL, 0, NULL));
    if (Option("--streams")) // both streams in turn, a ソ (83 5C), and a last line without its end
        for (const char *text : (const char *[]){"out 1\r\n", "err 2\r\n", "out \x83\x5c\r\n", "err last"})
            WriteFile(GetStdHandle(text[0] == 'o' ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), text, strlen(text), &n, NULL);
    for (unsigned i = 0, count = Option("--pour") ? atoi(Option("--pour")) : 0; Option("--pour") && (!count || i < count); i++) {
        char text[32]; // numbered lines of 15 bytes, for ever with 0
        DWORD written;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, sprintf(text, "line %08u\r\n", i), &written, NULL);
    }
    if (Option("--exit"))
        return Log("exit code=%lu", strtoul(Option("--exit"), NULL, 10)), strtoul(Option("--exit"), NULL, 10);
    if (!Option("--windows") && (gIgnore || Option("--wait") || Option("--run")))
        Sleep(INFINITE);
    if (!Option("--windows"))
        return Log("exit code=0"), 0;
    WNDCLASSA c = {0, ChildProc, 0, 0, NULL, NULL, NULL, NULL, NULL, "ProbeChild"};
    RegisterClassA(&c);
    gMain = CreateWindowA("ProbeChild", "probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 200, NULL, NULL, NULL, NULL);
    CreateWindowA("ProbeChild", "owned", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80, 200, 150, gMain, NULL, NULL, NULL);
    Log("windows");
    if (Option("--hang"))
        Sleep(INFINITE);
    for (MSG m; GetMessageA(&m, NULL, 0, 0) > 0;)
        DispatchMessageA(&m);
    return Log("exit code=0"), 0;
}

int main(int argc, char **argv)
{
    char first[64];
    snprintf(first, sizeof first, " %s ", argc > 1 ? argv[1] : "");
    if (!strstr(" run box win scm mutex alive kill strings lock ", first))
        return Child();
    for (int i = 1, n; i < argc; i += n + 1) { // past the verb, its arguments and the ";"
        for (n = 1; i + n < argc && strcmp(argv[i + n], ";");)
            n++;
        const char *v = argv[i];
        char **a = argv + i + 1, text[1024];
        int count = n - 1, id = count ? atoi(a[0]) : 0;
        HWND control = gWindow && count ? GetDlgItem(gWindow, id) : NULL, box;
        HMODULE exe = !strcmp(v, "strings") ? LoadLibraryExA(a[0], NULL, LOAD_LIBRARY_AS_DATAFILE) : NULL;
        GUITHREADINFO gui = {sizeof gui}; // keys go to the focused control, through the window's own loop
        if (!strcmp(v, "run"))
            Run(a, count);
        if (!strcmp(v, "box"))
            (box = Find(Unhex(a[0]), count > 3 ? atoi(a[3]) : 0, atoi(a[2]))) ? Answer(box, a[1]) : (void)printf("box none=1\n");
        if (!strcmp(v, "win"))
            gWindow = Find(Unhex(a[0]), count > 2 ? atoi(a[2]) : 0, atoi(a[1]));
        if (!strcmp(v, "dump") && gWindow)
            Dump();
        if (!strcmp(v, "set"))
            Send(control, WM_SETTEXT, 0, (LPARAM)Unhex(a[1]));
        if (!strcmp(v, "check") || !strcmp(v, "select"))
            Send(control, *v == 'c' ? BM_SETCHECK : CB_SETCURSEL, atoi(a[1]), 0);
        if (!strcmp(v, "click"))
            PostMessageA(gWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control);
        if (!strcmp(v, "key") && GetGUIThreadInfo(GetWindowThreadProcessId(gWindow, NULL), &gui))
            for (UINT m = WM_KEYDOWN; m <= WM_KEYUP; m++)
                PostMessageA(gui.hwndFocus ? gui.hwndFocus : gWindow, m, id, m == WM_KEYUP ? 0xC0000001 : 1);
        if (!strcmp(v, "close") || !strcmp(v, "help")) // help: what the F1 key becomes (WM_KEYF1)
            PostMessageA(gWindow, *v == 'c' ? WM_SYSCOMMAND : 0x004D, *v == 'c' ? SC_CLOSE : 0, 0);
        if (!strcmp(v, "drop"))
            Drop(a, count);
        for (DWORD start = GetTickCount(); !strcmp(v, "enabled") && !IsWindowEnabled(gWindow) && GetTickCount() - start < (DWORD)id;)
            Sleep(20);
        if (!strcmp(v, "scm"))
            Scm(a, count);
        if (!strcmp(v, "lock") && CreateFileA(a[0], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL) != INVALID_HANDLE_VALUE)
            printf("lock held=1\n"), fflush(stdout), Sleep(INFINITE);
        for (int k = 0; k < count && (!strcmp(v, "mutex") || !strcmp(v, "alive") || !strcmp(v, "kill")); k++) {
            char mark[300]; // a child holds a mutex named after its pid for its whole life
            snprintf(mark, sizeof mark, *v == 'm' ? "%s" : "probe-child-%s", a[k]);
            if (!strcmp(a[k], "hold"))
                Sleep(INFINITE);
            HANDLE m = *v == 'm' && count > 1 ? CreateMutexA(NULL, FALSE, mark) : OpenMutexA(SYNCHRONIZE, FALSE, mark);
            HANDLE p = (m || a[k][0] == '=') && *v == 'k' ? OpenProcess(PROCESS_TERMINATE, FALSE, atoi(a[k] + (a[k][0] == '='))) : NULL;
            if (p)
                TerminateProcess(p, 1), CloseHandle(p);
            printf("%s exists=%d\n", v, m != NULL);
        }
        for (int s = 1; exe && s < 40; s++)
            if (LoadStringA(exe, s, text, sizeof text))
                printf("string id=%d text=%s\n", s, Hex(text));
        fflush(stdout);
    }
    return 0;
}
