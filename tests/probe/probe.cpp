// probe: the Windows side of the tests. Verbs, several in one run split by ";", print one record
// a line, "kind key=value ...", texts in hex:
//   run DIR LINE MS [BUTTON...|any]  starts LINE in DIR, answers its boxes with the buttons in
//       order, then "ok" ("any": others answer them), and prints them and "exit code=N|timeout"
//   box CAPTION BUTTON MS [PID] | win TITLE MS [PID], then the verbs that drive that window: dump,
//       set ID TEXT, check ID N, select ID N, click ID, close, help, drop FILE..., enabled MS
//   scm NAME status|config|delete|start|create PATH START TYPE|control CODE|watch STATE MS|
//     killhost MS|sleep MS
//   mutex NAME [hold] | alive PID... | kill PID... ("=PID": any process) | strings EXE |
//   message EXE ID LANGID
//   lock FILE: holds it as another writer would, until killed; prints "lock held=1"
// Started with anything else, it is the test child (Child below).
#include <windows.h>
#include <shlobj.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD gStart = GetTickCount(); // "ms" fields count from here
static HWND gWindow;                  // the window that "win" found

static const char *Hex(const char *text)
{
    static char out[4][8192];
    static int turn;
    char *o = out[turn++ % 4], *w = o;
    for (const unsigned char *p = (const unsigned char *)text; *p && w < o + 8190; p++)
        w += sprintf(w, "%02x", *p);
    *w = '\0';
    return o;
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

// A visible top-level window of process pid (any: 0) titled title; a message box for NULL.
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

// Prints the box, then presses the button named: ok, yes or no (none for anything else).
static void Answer(HWND box, const char *button)
{
    char caption[1024], text[4096];
    Sleep(200); // lets the box finish laying itself out
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    printf("box caption=%s text=%s owner=%p buttons=", Hex(caption), Hex(text),
           (void *)GetWindow(box, GW_OWNER));
    for (HWND c = NULL; (c = FindWindowExA(box, c, "Button", NULL));)
        if (IsWindowVisible(c))
            printf("%d,", GetDlgCtrlID(c));
    printf("\n");
    const char *names[] = {"", "ok", "", "", "", "", "yes", "no"}; // by IDOK, IDYES, IDNO
    for (int id = IDOK; id <= IDNO; id++)
        if (!strcmp(button, names[id]))
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
}

static void Run(char **argv, int argc)
{
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    char *line = Unhex(argv[1]);
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, argv[0], &startup, &process)) {
        printf("exit code=nostart\n");
        return;
    }
    printf("started pid=%lu\n", process.dwProcessId);
    int next = 3, others = argc > 3 && !strcmp(argv[3], "any"), timedOut = 0;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        HWND box = others ? NULL : Find(NULL, process.dwProcessId, 0);
        if (box) {
            Answer(box, next < argc ? argv[next++] : "ok");
            while (IsWindow(box) && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
                ;
        }
        if (GetTickCount() - gStart > strtoul(argv[2], NULL, 10))
            timedOut = TerminateProcess(process.hProcess, 1);
        fflush(stdout);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    timedOut ? printf("exit code=timeout\n") : printf("exit code=%lu\n", code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The window and its controls in tab order; "offcentre": how far from the work area's centre.
static void Dump(void)
{
    RECT r, a;
    GetWindowRect(gWindow, &r);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &a, 0);
    long off =
        labs(r.left + r.right - a.left - a.right) + labs(r.top + r.bottom - a.top - a.bottom);
    char name[256] = "";
    GetClassNameA(gWindow, name, sizeof name);
    printf("window hwnd=%p exstyle=%lx enabled=%d owner=%p offcentre=%ld class=%s\n",
           (void *)gWindow, GetWindowLongA(gWindow, GWL_EXSTYLE), IsWindowEnabled(gWindow),
           (void *)GetWindow(gWindow, GW_OWNER), off, Hex(name));
    for (HWND c = NULL; (c = FindWindowExA(gWindow, c, NULL, NULL));) {
        char text[1024] = "";
        Send(c, WM_GETTEXT, sizeof text, (LPARAM)text);
        printf("control id=%d style=%lx enabled=%d text=%s check=%d limit=%d cursel=%d\n",
               GetDlgCtrlID(c), GetWindowLongA(c, GWL_STYLE), IsWindowEnabled(c), Hex(text),
               (int)Send(c, BM_GETCHECK, 0, 0), (int)Send(c, EM_GETLIMITTEXT, 0, 0),
               (int)Send(c, CB_GETCURSEL, 0, 0));
    }
}

// A real HDROP in the window's process: a DROPFILES block written into its memory. Wine takes a
// page-aligned address for a fixed global handle.
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

// The verbs that drive the window "win" found.
static void WindowVerb(const char *verb, char **a, int count)
{
    HWND control = count ? GetDlgItem(gWindow, atoi(a[0])) : NULL;
    if (!strcmp(verb, "dump"))
        Dump();
    if (!strcmp(verb, "set"))
        Send(control, WM_SETTEXT, 0, (LPARAM)Unhex(a[1]));
    if (!strcmp(verb, "check") || !strcmp(verb, "select"))
        Send(control, *verb == 'c' ? BM_SETCHECK : CB_SETCURSEL, atoi(a[1]), 0);
    if (!strcmp(verb, "select")) // as a choice with the mouse tells the window
        PostMessageA(gWindow, WM_COMMAND, MAKEWPARAM(atoi(a[0]), CBN_SELCHANGE), (LPARAM)control);
    if (!strcmp(verb, "click"))
        PostMessageA(gWindow, WM_COMMAND, MAKEWPARAM(atoi(a[0]), BN_CLICKED), (LPARAM)control);
    if (!strcmp(verb, "close"))
        PostMessageA(gWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (!strcmp(verb, "help"))
        PostMessageA(gWindow, 0x004D, 0, 0); // WM_KEYF1, what the F1 key becomes
    if (!strcmp(verb, "drop"))
        Drop(a, count);
    DWORD start = GetTickCount();
    while (!strcmp(verb, "enabled") && !IsWindowEnabled(gWindow) &&
           GetTickCount() - start < (DWORD)atoi(a[0]))
        Sleep(20);
}

// The status after the verb; with watch, each change until the state wanted or the time is up.
static void Watch(SC_HANDLE service, DWORD wanted, DWORD timeout)
{
    SERVICE_STATUS_PROCESS s = {}, last = {};
    DWORD needed, start = GetTickCount();
    while (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&s, sizeof s, &needed)) {
        if (memcmp(&s, &last, sizeof s))
            printf("status state=%lu exit=%lu specific=%lu checkpoint=%lu hint=%lu controls=%lu "
                   "pid=%lu ms=%lu\n",
                   s.dwCurrentState, s.dwWin32ExitCode, s.dwServiceSpecificExitCode, s.dwCheckPoint,
                   s.dwWaitHint, s.dwControlsAccepted, s.dwProcessId, GetTickCount() - gStart);
        fflush(stdout);
        last = s;
        if (s.dwCurrentState == wanted || GetTickCount() - start >= timeout)
            return;
        Sleep(10);
    }
}

static void Scm(char **argv)
{
    const char *name = argv[0], *verb = argv[1];
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), service;
    if (!strcmp(verb, "create"))
        service = CreateServiceA(scm, name, name, SERVICE_ALL_ACCESS, atoi(argv[4]), atoi(argv[3]),
                                 SERVICE_ERROR_NORMAL, argv[2], NULL, NULL, NULL, NULL, NULL);
    else
        service = OpenServiceA(scm, name, SERVICE_ALL_ACCESS);
    BOOL ok = service != NULL;
    SERVICE_STATUS plain;
    if (ok && !strcmp(verb, "delete"))
        ok = DeleteService(service);
    if (ok && !strcmp(verb, "start"))
        ok = StartServiceA(service, 0, NULL);
    if (ok && !strcmp(verb, "control"))
        ok = ControlService(service, atoi(argv[2]), &plain);
    if (ok && !strcmp(verb, "sleep"))
        Sleep(atoi(argv[2]));
    SERVICE_STATUS_PROCESS host = {};
    DWORD size;
    if (ok && !strcmp(verb, "killhost")) { // killhost MS: its process ended MS after this verb
        ok = QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&host, sizeof host,
                                  &size);
        Sleep(atoi(argv[2]));
        HANDLE process = ok ? OpenProcess(PROCESS_TERMINATE, FALSE, host.dwProcessId) : NULL;
        ok = process && TerminateProcess(process, 1);
        if (process)
            CloseHandle(process);
    }
    printf("result ok=%d error=%lu ms=%lu\n", ok, ok ? 0 : GetLastError(), GetTickCount() - gStart);
    static BYTE config[8192], described[8192];
    QUERY_SERVICE_CONFIGA *c = (QUERY_SERVICE_CONFIGA *)config;
    DWORD needed;
    if (ok && !strcmp(verb, "config") && QueryServiceConfigA(service, c, sizeof config, &needed) &&
        QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, described, 8192, &needed)) {
        const char *d = ((SERVICE_DESCRIPTIONA *)described)->lpDescription;
        DWORD preshutdown = 0; // SERVICE_PRESHUTDOWN_INFO is one DWORD
        QueryServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, (BYTE *)&preshutdown,
                             sizeof preshutdown, &needed);
        printf("config type=%lu start=%lu error=%lu account=%s path=%s display=%s description=%s "
               "preshutdown=%lu\n",
               c->dwServiceType, c->dwStartType, c->dwErrorControl, Hex(c->lpServiceStartName),
               Hex(c->lpBinaryPathName), Hex(c->lpDisplayName), Hex(d ? d : ""), preshutdown);
    } else if (service) {
        int watch = !strcmp(verb, "watch");
        Watch(service, watch ? atoi(argv[2]) : 0, watch ? atoi(argv[3]) : 0);
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

// mutex NAME... (created, then with "hold" held), alive PID..., kill PID...: a test child holds a
// mutex named after its process id for its whole life.
static void Mutexes(const char *verb, char **names, int count)
{
    for (int k = 0; k < count; k++) {
        char mark[300];
        snprintf(mark, sizeof mark, *verb == 'm' ? "%s" : "probe-child-%s", names[k]);
        if (!strcmp(names[k], "hold"))
            Sleep(INFINITE);
        HANDLE m = *verb == 'm' && count > 1 ? CreateMutexA(NULL, FALSE, mark)
                                             : OpenMutexA(SYNCHRONIZE, FALSE, mark);
        int any = names[k][0] == '=';
        HANDLE p = *verb == 'k' && (m || any)
                       ? OpenProcess(PROCESS_TERMINATE, FALSE, atoi(names[k] + any))
                       : NULL;
        if (p) {
            TerminateProcess(p, 1);
            CloseHandle(p);
        }
        printf("%s exists=%d\n", verb, m != NULL);
    }
}

// The child logs to --log FILE (else to its own path + ".log"), one WriteFile a line: "start pid=
// tick= out= cmd= cwd= conprocs= group=" (out: its standard output's type, 3 a pipe; group 1: it
// leads a console process group), "windows", "msg win=main|owned msg=WM_CLOSE|SC_CLOSE
// from=outside|defproc", "input" (its standard input ended) and "exit code=". Its options:
// --windows: an unowned window and one it owns (WM_CLOSE ends it, SC_CLOSE goes to DefWindowProc);
// --ignore: ignores close messages; --hang: takes no messages once its windows exist; --exit N;
// --run MS; --wait; --spawn: a copy that inherits its handles; --streams, --pour N: writes to its
// standard output and error; --first N: the first N copies that log to the same file end at once
// with 3, later ones wait; --read: reads its standard input
// and ends (exit code 9) when the read returns; --env A,B: logs "env name= set= value=" of each.
// Without these it ends at once.
static char gLog[MAX_PATH];
static HWND gMain;
static int gIgnore, gInDefProc;

static void Log(const char *format, ...)
{
    char line[8192];
    va_list args;
    va_start(args, format);
    DWORD n = vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    memcpy(line + n, "\r\n", 2);
    HANDLE f = CreateFileA(gLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_ALWAYS, 0, NULL);
    WriteFile(f, line, n + 2, &n, NULL);
    CloseHandle(f);
}

static LRESULT CALLBACK ChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    int close = m == WM_CLOSE, sysclose = m == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE;
    if (m == WM_DESTROY && w == gMain)
        PostQuitMessage(0);
    if (!close && !sysclose)
        return DefWindowProcA(w, m, wp, lp);
    Log("msg win=%s msg=%s from=%s", w == gMain ? "main" : "owned", close ? "WM_CLOSE" : "SC_CLOSE",
        gInDefProc ? "defproc" : "outside");
    if (gIgnore)
        return 0;
    if (close)
        return DestroyWindow(w);
    gInDefProc++; // DefWindowProc answers SC_CLOSE with a WM_CLOSE of its own
    LRESULT r = DefWindowProcA(w, m, wp, lp);
    gInDefProc--;
    return r;
}

static DWORD WINAPI EndLater(void *ms)
{
    Sleep((DWORD)(UINT_PTR)ms);
    Log("exit code=0");
    ExitProcess(0);
}

static DWORD WINAPI ReadInput(void *)
{
    char byte;
    DWORD read = 0;
    BOOL ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, NULL);
    Log("input ok=%d read=%lu error=%lu", ok, read, ok ? 0 : GetLastError());
    ExitProcess(9); // as a program ends whose input has ended or failed
}

// The option's value (after a blank or "="), or NULL when it is not given.
static const char *Option(const char *name)
{
    const char *at = strstr(GetCommandLineA(), name);
    return at ? at + strlen(name) + (at[strlen(name)] == ' ' || at[strlen(name)] == '=') : NULL;
}

static void Write(DWORD stream, const char *text)
{
    DWORD written;
    WriteFile(GetStdHandle(stream), text, strlen(text), &written, NULL);
}

static int Child(void)
{
    char self[MAX_PATH], line[1024], cwd[MAX_PATH] = "", procs[200] = "";
    GetModuleFileNameA(NULL, self, MAX_PATH);
    sprintf(line, "probe-child-%lu", GetCurrentProcessId());
    CreateMutexA(NULL, FALSE, line); // tells "alive" and "kill" that this is a test child
    sprintf(gLog, "%s.log", self);
    if (Option("--log"))
        sscanf(Option("--log"), "%259s", gLog);
    gIgnore = Option("--ignore") != NULL;
    if (Option("--run"))
        CloseHandle(CreateThread(NULL, 0, EndLater, (void *)(UINT_PTR)atoi(Option("--run")), 0, 0));
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    snprintf(line, sizeof line, "\"%s\" --log %s --wait", self, gLog);
    if (Option("--spawn") &&
        CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    GetCurrentDirectoryA(sizeof cwd, cwd);
    DWORD list[16], n = GetConsoleProcessList(list, 16);
    for (DWORD i = 0; i < n && i < 16; i++)
        sprintf(procs + strlen(procs), "%s%lu", i ? "," : "", list[i]);
    // Bit 0 of the process parameters' ConsoleFlags, which the public headers omit: set for a
    // process started with CREATE_NEW_PROCESS_GROUP.
    typedef BYTE *(WINAPI * PebFn)(void);
    PebFn peb = (PebFn)(void *)GetProcAddress(GetModuleHandleA("ntdll"), "RtlGetCurrentPeb");
    BYTE *params = *(BYTE **)(peb() + 4 * sizeof(void *));
    Log("start pid=%lu tick=%lu out=%lu cmd=%s cwd=%s conprocs=%s group=%lu", GetCurrentProcessId(),
        GetTickCount(), GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)), Hex(GetCommandLineA()),
        Hex(cwd), n ? procs : "none", *(ULONG *)(params + 16 + sizeof(void *)) & 1);
    if (Option("--env")) { // --env A,B: each variable's value, "set=0" when it has none
        // Read wide: Wine's GetEnvironmentVariableA cuts a value after as many bytes as it has
        // characters.
        char names[1024], value[4096] = "";
        WCHAR nameW[256], valueW[4096];
        sscanf(Option("--env"), "%1023s", names);
        for (char *name = strtok(names, ","); name; name = strtok(NULL, ",")) {
            MultiByteToWideChar(CP_ACP, 0, name, -1, nameW, 256);
            DWORD n = GetEnvironmentVariableW(nameW, valueW, 4096);
            WideCharToMultiByte(CP_ACP, 0, n ? valueW : L"", -1, value, sizeof value, NULL, NULL);
            Log("env name=%s set=%d value=%s", name, n > 0 && n < 4096, Hex(value));
        }
    }
    if (Option("--read"))
        CloseHandle(CreateThread(NULL, 0, ReadInput, NULL, 0, NULL));
    if (Option("--streams")) { // both streams in turn, a ソ (83 5C), a last line without its end
        Write(STD_OUTPUT_HANDLE, "out 1\r\n");
        Write(STD_ERROR_HANDLE, "err 2\r\n");
        Write(STD_OUTPUT_HANDLE, "out \x83\x5c\r\n");
        Write(STD_ERROR_HANDLE, "err last");
    }
    int pour = Option("--pour") ? atoi(Option("--pour")) : -1; // 0: for ever
    for (int i = 0; pour == 0 || i < pour; i++) {
        sprintf(line, "line %08d\r\n", i); // 15 bytes
        Write(STD_OUTPUT_HANDLE, line);
    }
    if (Option("--first")) { // --first N: the first N copies that log here end at once with 3
        char *all = (char *)malloc(1 << 20);
        HANDLE f = CreateFileA(gLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
        DWORD read = 0;
        ReadFile(f, all, (1 << 20) - 1, &read, NULL);
        CloseHandle(f);
        all[read] = '\0';
        int starts = 0;
        for (char *p = all; (p = strstr(p, "start pid=")) != NULL; p++)
            starts++;
        free(all);
        if (starts <= atoi(Option("--first"))) {
            Log("exit code=3");
            return 3;
        }
        Sleep(INFINITE);
    }
    if (Option("--exit")) {
        Log("exit code=%lu", strtoul(Option("--exit"), NULL, 10));
        return strtoul(Option("--exit"), NULL, 10);
    }
    if (!Option("--windows") && (gIgnore || Option("--wait") || Option("--run")))
        Sleep(INFINITE);
    if (Option("--windows")) {
        WNDCLASSA c = {0, ChildProc, 0, 0, NULL, NULL, NULL, NULL, NULL, "ProbeChild"};
        RegisterClassA(&c);
        DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        gMain = CreateWindowA("ProbeChild", "probe", style, 40, 40, 300, 200, 0, 0, 0, 0);
        CreateWindowA("ProbeChild", "owned", style, 80, 80, 200, 150, gMain, 0, 0, 0);
        Log("windows");
        if (Option("--hang"))
            Sleep(INFINITE);
        for (MSG m; GetMessageA(&m, NULL, 0, 0) > 0;)
            DispatchMessageA(&m);
    }
    Log("exit code=0");
    return 0;
}

// message EXE ID LANGID: the text of message ID in the language (hex), its inserts %1, %2... as
// "<1>", "<2>"...; the empty text when there is none.
static void Message(char **argv)
{
    HMODULE exe = LoadLibraryExA(argv[0], NULL, LOAD_LIBRARY_AS_DATAFILE);
    const char *inserts[] = {"<1>", "<2>", "<3>", "<4>", "<5>"};
    char *text = NULL;
    DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                  FORMAT_MESSAGE_ARGUMENT_ARRAY;
    DWORD n = FormatMessageA(flags, exe, atoi(argv[1]), strtoul(argv[2], NULL, 16), (LPSTR)&text, 0,
                             (va_list *)inserts);
    printf("message id=%s lang=%s text=%s\n", argv[1], argv[2], n ? Hex(text) : "");
    LocalFree(text);
    FreeLibrary(exe);
}

int main(int argc, char **argv)
{
    char first[64], text[1024];
    snprintf(first, sizeof first, " %s ", argc > 1 ? argv[1] : "");
    if (!strstr(" run box win scm mutex alive kill strings message lock ", first))
        return Child();
    for (int i = 1, n; i < argc; i += n + 1) { // past the verb, its arguments and the ";"
        for (n = 1; i + n < argc && strcmp(argv[i + n], ";");)
            n++;
        const char *verb = argv[i];
        char **a = argv + i + 1;
        int count = n - 1;
        HWND box =
            !strcmp(verb, "box") ? Find(Unhex(a[0]), count > 3 ? atoi(a[3]) : 0, atoi(a[2])) : NULL;
        HMODULE exe = !strcmp(verb, "strings") ? LoadLibraryExA(a[0], NULL, 2) : NULL; // as data
        if (!strcmp(verb, "run"))
            Run(a, count);
        if (!strcmp(verb, "box"))
            box ? Answer(box, a[1]) : (void)printf("box none=1\n");
        if (!strcmp(verb, "win"))
            gWindow = Find(Unhex(a[0]), count > 2 ? atoi(a[2]) : 0, atoi(a[1]));
        else if (gWindow)
            WindowVerb(verb, a, count);
        if (!strcmp(verb, "scm"))
            Scm(a);
        if (!strcmp(verb, "mutex") || !strcmp(verb, "alive") || !strcmp(verb, "kill"))
            Mutexes(verb, a, count);
        if (!strcmp(verb, "message"))
            Message(a);
        for (int id = 1; exe && id < 60; id++)
            if (LoadStringA(exe, id, text, sizeof text))
                printf("string id=%d text=%s\n", id, Hex(text));
        // Made if missing, held as another writer holds a file: shared with readers and writers,
        // not with deletion.
        if (!strcmp(verb, "lock") &&
            CreateFileA(a[0], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        NULL, OPEN_ALWAYS, 0, NULL) != INVALID_HANDLE_VALUE) {
            printf("lock held=1\n");
            fflush(stdout);
            Sleep(INFINITE);
        }
        fflush(stdout);
    }
    return 0;
}
