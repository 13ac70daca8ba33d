// probe: the Windows side of the tests. One program, a few verbs; several
// verbs may be given at once, separated by ";" arguments. Output is one line
// per record, "kind key=value ...", texts as hex of their ANSI bytes.
//   run DIR LINE TIMEOUT [CAPTION:BUTTON...|any]  starts LINE (hex) in DIR and
//       answers its message boxes in this order; a box of its own that is not
//       in the list fails the run (unless "any": others answer them); then
//       "exit code=N" ("timeout" or "box" when it had to be ended)
//   box CAPTION BUTTON TIMEOUT [PID]  waits for a box (of PID), prints, presses
//   win TITLE TIMEOUT [PID]      the top-level window (of PID) the next verbs drive
//   dump | set ID TEXT | check ID N | select ID N | click ID | key VK |
//   close | help | drop FILE... | enabled TIMEOUT     (on that window)
//   scm NAME status|config|delete|start|create PATH START TYPE|control CODE|
//       watch STATE TIMEOUT      (every status change until STATE is reached)
//   launch LINE DIR              CreateProcessA's error for them (0: it starts)
//   mutex NAME [hold]            whether it exists; with hold, holds it
//   alive PID... | kill PID...   for children that outlive their host (and tavi)
//   strings EXE                  its string table as LoadStringA reads it
//   res EXE TYPE ID              a resource of EXE, as hex
// Started with anything else, it is the test child (see Child below).
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>
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
    *w = 0;
    return o;
}

static char *Unhex(const char *hex)
{
    char *out = (char *)calloc(strlen(hex) / 2 + 1, 1);
    for (size_t i = 0; hex[2 * i] && hex[2 * i + 1]; i++)
        sscanf(hex + 2 * i, "%2hhx", (unsigned char *)&out[i]);
    return out;
}

static DWORD gStart = GetTickCount(); // "ms" fields count from here
static HWND gWindow;
static DWORD gPid; // the process whose boxes "run" answers
static HWND gFound;

static void Text(HWND window, char *out, int size)
{
    DWORD_PTR ignored;
    out[0] = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, size, (LPARAM)out, SMTO_NORMAL, 5000, &ignored);
}

static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = (DWORD_PTR)-1;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
    return (LRESULT)result;
}

// A visible top-level window of process pid (any when 0) titled exactly
// title, or a message box (#32770) when title is NULL.
static const char *gTitle;
static DWORD gOf;

static BOOL CALLBACK FindProc(HWND window, LPARAM)
{
    char text[1024], cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, text, sizeof text);
    if (IsWindowVisible(window) && (!gOf || pid == gOf) && !strcmp(gTitle ? text : cls, gTitle ? gTitle : "#32770")) {
        gFound = window;
        return FALSE;
    }
    return TRUE;
}

static HWND Find(const char *title, DWORD pid, DWORD timeout)
{
    gTitle = title, gOf = pid;
    for (DWORD start = GetTickCount();; Sleep(20)) {
        gFound = NULL;
        EnumWindows(FindProc, 0);
        if (gFound || GetTickCount() - start > timeout)
            return gFound;
    }
}

// Prints the ids of the box's buttons; counts the icons it shows.
static BOOL CALLBACK ButtonProc(HWND child, LPARAM icons)
{
    char cls[64];
    GetClassNameA(child, cls, sizeof cls);
    if (!lstrcmpiA(cls, "Button") && IsWindowVisible(child))
        printf("%d,", GetDlgCtrlID(child));
    if (!lstrcmpiA(cls, "Static") && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child) && Send(child, STM_GETICON, 0, 0) > 0)
        ++*(int *)icons;
    return TRUE;
}

// Prints the box, then presses the button named (ok, yes, no; else none).
static void Answer(HWND box, const char *button)
{
    char text[4096];
    DWORD pid = 0;
    Sleep(200); // let the box finish laying itself out
    GetWindowThreadProcessId(box, &pid);
    GetWindowTextA(box, text, sizeof text);
    printf("box pid=%lu caption=%s", pid, Hex(text));
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    printf(" text=%s owner=%llx buttons=", Hex(text), (unsigned long long)(UINT_PTR)GetWindow(box, GW_OWNER));
    int icons = 0;
    EnumChildWindows(box, ButtonProc, (LPARAM)&icons);
    printf(" icons=%d", icons);
    int id = !strcmp(button, "ok") ? IDOK : !strcmp(button, "yes") ? IDYES : !strcmp(button, "no") ? IDNO : 0;
    printf("\n");
    if (id)
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
}

static int Run(char **argv, int argc)
{
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, Unhex(argv[1]), NULL, NULL, FALSE, 0, NULL, argv[0], &startup,
                        &process)) {
        printf("exit code=nostart error=%lu\n", GetLastError());
        return 1;
    }
    gPid = process.dwProcessId;
    printf("started pid=%lu\n", gPid);
    fflush(stdout);
    DWORD timeout = strtoul(argv[2], NULL, 10), start = GetTickCount();
    int next = 3, watch = !(argc > 3 && !strcmp(argv[3], "any"));
    const char *verdict = NULL;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT && !verdict) {
        HWND box = watch ? Find(NULL, gPid, 0) : NULL;
        if (box) {
            char answer[1024] = "-:none", text[1024];
            if (next < argc)
                lstrcpynA(answer, argv[next++], sizeof answer);
            char *button = strrchr(answer, ':');
            *button++ = 0;
            GetWindowTextA(box, text, sizeof text);
            if (strcmp(Hex(text), answer))
                verdict = "box", button = (char *)"none";
            Answer(box, button);
            while (!verdict && IsWindow(box) && WaitForSingleObject(process.hProcess, 20))
                ;
        }
        if (GetTickCount() - start > timeout)
            verdict = "timeout";
        fflush(stdout);
    }
    DWORD code = 0;
    if (verdict)
        TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &code);
    if (verdict)
        printf("exit code=%s\n", verdict);
    else
        printf("exit code=%lu\n", code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

static BOOL CALLBACK DumpProc(HWND child, LPARAM)
{
    char cls[64], text[1024];
    RECT r;
    GetClassNameA(child, cls, sizeof cls);
    GetWindowRect(child, &r);
    Text(child, text, sizeof text);
    if (GetParent(child) != gWindow)
        return TRUE;
    printf("control id=%d class=%s style=%lx enabled=%d rect=%ld,%ld,%ld,%ld text=%s", GetDlgCtrlID(child),
           cls, GetWindowLongA(child, GWL_STYLE), IsWindowEnabled(child), r.left, r.top, r.right,
           r.bottom, Hex(text));
    if (!lstrcmpiA(cls, "Button"))
        printf(" check=%d", (int)Send(child, BM_GETCHECK, 0, 0));
    if (!lstrcmpiA(cls, "Edit"))
        printf(" limit=%d", (int)Send(child, EM_GETLIMITTEXT, 0, 0));
    if (!lstrcmpiA(cls, "ComboBox")) {
        printf(" cursel=%d items=", (int)Send(child, CB_GETCURSEL, 0, 0));
        // Wine garbles CB_GETLBTEXT of another process in its ANSI form.
        for (int i = 0; i < Send(child, CB_GETCOUNT, 0, 0); i++) {
            static WCHAR wide[1024];
            DWORD_PTR n;
            wide[0] = 0;
            SendMessageTimeoutW(child, CB_GETLBTEXT, i, (LPARAM)wide, SMTO_NORMAL, 5000, &n);
            WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
            printf("%s%s", i ? "," : "", Hex(text));
        }
    }
    printf("\n");
    return TRUE;
}

static void Dump(void)
{
    char text[1024];
    RECT r, area;
    DWORD pid = 0;
    GetWindowThreadProcessId(gWindow, &pid);
    GetWindowRect(gWindow, &r);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowTextA(gWindow, text, sizeof text);
    printf("window hwnd=%llx pid=%lu caption=%s style=%lx exstyle=%lx enabled=%d owner=%llx "
           "center=%ld,%ld areacenter=%ld,%ld\n",
           (unsigned long long)(UINT_PTR)gWindow, pid, Hex(text), GetWindowLongA(gWindow, GWL_STYLE),
           GetWindowLongA(gWindow, GWL_EXSTYLE), IsWindowEnabled(gWindow),
           (unsigned long long)(UINT_PTR)GetWindow(gWindow, GW_OWNER), (r.left + r.right) / 2,
           (r.top + r.bottom) / 2, (area.left + area.right) / 2, (area.top + area.bottom) / 2);
    EnumChildWindows(gWindow, DumpProc, 0);
}

// A real HDROP in the window's process: a DROPFILES block written into its
// memory. Wine takes a page-aligned address as a fixed global handle.
static void Drop(char **files, int count)
{
    char block[4096] = {0};
    DROPFILES *drop = (DROPFILES *)block;
    drop->pFiles = sizeof *drop;
    char *w = block + sizeof *drop;
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

static int Scm(char **argv, int argc)
{
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), service;
    const char *name = argv[0], *verb = argv[1];
    if (!strcmp(verb, "create"))
        service = CreateServiceA(scm, name, name, SERVICE_ALL_ACCESS, strtoul(argv[4], NULL, 0),
                                 strtoul(argv[3], NULL, 0), SERVICE_ERROR_NORMAL, argv[2], NULL,
                                 NULL, NULL, NULL, NULL);
    else
        service = OpenServiceA(scm, name, SERVICE_ALL_ACCESS);
    int ok = service != NULL;
    SERVICE_STATUS_PROCESS s = {};
    DWORD needed, error = GetLastError(), start = GetTickCount(); // for the time-out
    if (!strcmp(verb, "config") && ok) {
        static BYTE buffer[8192], described[8192];
        QUERY_SERVICE_CONFIGA *c = (QUERY_SERVICE_CONFIGA *)buffer;
        QueryServiceConfigA(service, c, sizeof buffer, &needed);
        QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, described, sizeof described, &needed);
        const char *d = ((SERVICE_DESCRIPTIONA *)described)->lpDescription;
        printf("config type=%lu start=%lu error=%lu account=%s path=%s display=%s description=%s\n",
               c->dwServiceType, c->dwStartType, c->dwErrorControl, c->lpServiceStartName,
               Hex(c->lpBinaryPathName), Hex(c->lpDisplayName), Hex(d ? d : ""));
    } else if (ok && strcmp(verb, "status") && strcmp(verb, "watch") && strcmp(verb, "create")) {
        SERVICE_STATUS plain;
        ok = !strcmp(verb, "delete") ? DeleteService(service)
             : !strcmp(verb, "start") ? StartServiceA(service, 0, NULL)
                                      : ControlService(service, strtoul(argv[2], NULL, 0), &plain);
        error = ok ? 0 : GetLastError();
    }
    printf("result verb=%s ok=%d error=%lu ms=%lu\n", verb, ok, ok ? 0 : error, GetTickCount() - gStart);
    // watch: every change of the status until the state wanted or the time-out.
    DWORD want = argc > 3 ? strtoul(argv[2], NULL, 0) : 0, timeout = argc > 3 ? strtoul(argv[3], NULL, 0) : 0;
    SERVICE_STATUS_PROCESS last = {};
    do {
        if (!service || !QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&s, sizeof s, &needed))
            break;
        if (memcmp(&s, &last, sizeof s) && strcmp(verb, "config"))
            printf("status state=%lu exit=%lu specific=%lu checkpoint=%lu hint=%lu controls=%lu pid=%lu ms=%lu\n",
                   s.dwCurrentState, s.dwWin32ExitCode, s.dwServiceSpecificExitCode, s.dwCheckPoint,
                   s.dwWaitHint, s.dwControlsAccepted, s.dwProcessId, GetTickCount() - gStart);
        last = s;
        fflush(stdout);
    } while (s.dwCurrentState != want && GetTickCount() - start < timeout && (Sleep(10), 1));
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return ok ? 0 : 1;
}

// Child: logs to --log FILE (its own path + ".log" without) "start pid= ppid=
// cmd= cwd= conprocs= group=" (group 1 when it leads a console process group
// of its own), "windows" once its windows exist, "msg win=main|owned
// msg=WM_CLOSE|SC_CLOSE from=outside|defproc" and "exit code=". Its options
// are found anywhere in its command line, whatever quotes surround them:
// --windows: an unowned window and one it owns; WM_CLOSE ends it (after
// --slow MS), SC_CLOSE goes to DefWindowProc. --ignore: logs the close
// messages and console events and ignores them; --linger MS: the same,
// but ends MS after the first close message. --hang: takes no messages once
// its windows exist. --exit N: ends at once with N. --run MS: ends with 0
// after MS. --wait: runs until a console event or its end. --crash: an
// access violation. --spawn: starts a copy of itself (a grandchild) first.
// Without any of these it ends at once with 0.
static char gLog[MAX_PATH];
static HWND gMain;
static int gIgnore, gInDefProc;
static DWORD gSlow, gLinger;

static void Log(const char *format, ...)
{
    char line[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    strcat(line, "\r\n");
    for (int i = 0; i < 200; i++, Sleep(10)) { // children share one log
        HANDLE f = CreateFileA(gLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, 0, NULL);
        DWORD n;
        if (f != INVALID_HANDLE_VALUE && (WriteFile(f, line, strlen(line), &n, NULL), CloseHandle(f)))
            return;
    }
}

static LRESULT CALLBACK ChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    const char *who = w == gMain ? "main" : "owned", *from = gInDefProc ? "defproc" : "outside";
    if (m == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) {
        Log("msg win=%s msg=SC_CLOSE from=%s", who, from);
        if (gLinger)
            SetTimer(gMain, 1, gLinger, NULL);
        if (gIgnore)
            return 0;
        gInDefProc++; // DefWindowProc answers SC_CLOSE with a WM_CLOSE of its own
        LRESULT r = DefWindowProcA(w, m, wp, lp);
        gInDefProc--;
        return r;
    }
    if (m == WM_CLOSE) {
        Log("msg win=%s msg=WM_CLOSE from=%s", who, from);
        if (gLinger)
            SetTimer(gMain, 1, gLinger, NULL);
        if (!gIgnore)
            Sleep(gSlow), DestroyWindow(w);
        return 0;
    }
    if (m == WM_TIMER)
        DestroyWindow(gMain);
    if (m == WM_DESTROY && w == gMain)
        PostQuitMessage(0);
    return DefWindowProcA(w, m, wp, lp);
}

static LONG WINAPI Crashed(EXCEPTION_POINTERS *p)
{
    Log("exit code=%lu", p->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER; // no debugger
}

static BOOL WINAPI ConsoleEvent(DWORD type)
{
    Log("ctrl type=%lu", type);
    if (!gIgnore)
        Log("exit code=%lu", STATUS_CONTROL_C_EXIT), ExitProcess(STATUS_CONTROL_C_EXIT);
    return TRUE;
}

static DWORD WINAPI EndLater(void *ms)
{
    Sleep((DWORD)(UINT_PTR)ms);
    Log("exit code=0");
    ExitProcess(0);
}

static PROCESSENTRY32 Entry(DWORD pid)
{
    PROCESSENTRY32 e = {sizeof e}, found = {};
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32First(snap, &e); more; more = Process32Next(snap, &e))
        if (e.th32ProcessID == pid)
            found = e;
    CloseHandle(snap);
    return found;
}

// The option's value (the word after it), or NULL when it is not given.
static const char *Option(const char *name)
{
    const char *at = strstr(GetCommandLineA(), name);
    return at ? at + strlen(name) + (at[strlen(name)] == ' ' || at[strlen(name)] == '=') : NULL;
}

static int Child(void)
{
    char self[MAX_PATH], mark[64], cwd[MAX_PATH] = "", procs[200] = "";
    GetModuleFileNameA(NULL, self, MAX_PATH);
    sprintf(mark, "probe-child-%lu", GetCurrentProcessId());
    CreateMutexA(NULL, FALSE, mark); // tells "kill" that this pid is a test child
    sprintf(gLog, "%s.log", self);
    if (Option("--log"))
        sscanf(Option("--log"), "%259s", gLog);
    gIgnore = Option("--ignore") != NULL;
    gSlow = Option("--slow") ? atoi(Option("--slow")) : 0;
    gLinger = Option("--linger") ? atoi(Option("--linger")) : 0;
    if (gLinger)
        gIgnore = 1;
    if (Option("--run"))
        CloseHandle(CreateThread(NULL, 0, EndLater, (void *)(UINT_PTR)atoi(Option("--run")), 0, NULL));
    if (Option("--spawn")) {
        char line[1024];
        STARTUPINFOA si = {sizeof si};
        PROCESS_INFORMATION pi;
        snprintf(line, sizeof line, "\"%s\" --log %s --run 120000", self, gLog);
        if (CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
            CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
    }
    GetCurrentDirectoryA(sizeof cwd, cwd);
    DWORD list[16], n = GetConsoleProcessList(list, 16);
    for (DWORD i = 0; i < n && i < 16; i++)
        sprintf(procs + strlen(procs), "%s%lu", i ? "," : "", list[i]);
    // Bit 0 of the process parameters' ConsoleFlags: set for a process
    // started with CREATE_NEW_PROCESS_GROUP (the public headers omit it).
    typedef BYTE *(WINAPI * GetPeb)(void);
    GetPeb peb = (GetPeb)(void *)GetProcAddress(GetModuleHandleA("ntdll"), "RtlGetCurrentPeb");
    BYTE *params = *(BYTE **)(peb() + 4 * sizeof(void *));
    Log("start pid=%lu ppid=%lu tick=%lu cmd=%s cwd=%s conprocs=%s group=%lu", GetCurrentProcessId(), Entry(GetCurrentProcessId()).th32ParentProcessID, GetTickCount(),
        Hex(GetCommandLineA()), Hex(cwd), n ? procs : "none", *(ULONG *)(params + 16 + sizeof(void *)) & 1);
    if (Option("--crash"))
        SetUnhandledExceptionFilter(Crashed), *(volatile int *)(UINT_PTR)0 = 1;
    if (Option("--exit"))
        return Log("exit code=%d", atoi(Option("--exit"))), atoi(Option("--exit"));
    SetConsoleCtrlHandler(ConsoleEvent, TRUE);
    if (!Option("--windows") && (gIgnore || Option("--wait") || Option("--run")))
        Sleep(INFINITE);
    if (!Option("--windows"))
        return Log("exit code=0"), 0;
    WNDCLASSA c = {};
    c.lpfnWndProc = ChildProc;
    c.lpszClassName = "ProbeChild";
    RegisterClassA(&c);
    gMain = CreateWindowA("ProbeChild", "probe child", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 200, NULL, NULL, NULL, NULL);
    CreateWindowA("ProbeChild", "probe owned", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80, 200, 150, gMain, NULL, NULL, NULL);
    Log("windows");
    if (Option("--hang"))
        Sleep(INFINITE);
    MSG m;
    while (GetMessageA(&m, NULL, 0, 0) > 0)
        DispatchMessageA(&m);
    Log("exit code=0");
    return 0;
}

static const char *const kVerbs[] = {"run", "box", "win", "scm", "launch", "mutex", "alive", "kill", "strings", "res"};

int main(int argc, char **argv)
{
    int verb = 0;
    for (const char *v : kVerbs)
        verb |= argc > 1 && !strcmp(argv[1], v);
    if (!verb)
        return Child();
    int result = 0;
    for (int i = 1; i < argc; i++) {
        int n = 1; // this verb's arguments: argv[i + 1] .. argv[i + n - 1]
        while (i + n < argc && strcmp(argv[i + n], ";"))
            n++;
        const char *v = argv[i];
        char **a = argv + i + 1;
        int count = n - 1;
        if (!strcmp(v, "run"))
            result |= Run(a, count);
        if (!strcmp(v, "box")) {
            HWND box = Find(Unhex(a[0]), count > 3 ? atoi(a[3]) : 0, strtoul(a[2], NULL, 10));
            box ? Answer(box, a[1]) : (void)printf("box none=1\n");
            result |= !box;
        }
        if (!strcmp(v, "win"))
            gWindow = Find(Unhex(a[0]), count > 2 ? atoi(a[2]) : 0, strtoul(a[1], NULL, 10)), result |= !gWindow;
        if (!strcmp(v, "dump") && gWindow)
            Dump();
        HWND control = count > 0 && gWindow ? GetDlgItem(gWindow, atoi(a[0])) : NULL;
        if (!strcmp(v, "set"))
            Send(control, WM_SETTEXT, 0, (LPARAM)Unhex(a[1]));
        if (!strcmp(v, "check"))
            Send(control, BM_SETCHECK, atoi(a[1]), 0);
        if (!strcmp(v, "select"))
            Send(control, CB_SETCURSEL, atoi(a[1]), 0);
        if (!strcmp(v, "click"))
            PostMessageA(gWindow, WM_COMMAND, MAKEWPARAM(atoi(a[0]), BN_CLICKED), (LPARAM)control);
        if (!strcmp(v, "key")) { // to the focused control, through the window's own loop
            GUITHREADINFO gui = {sizeof gui};
            GetGUIThreadInfo(GetWindowThreadProcessId(gWindow, NULL), &gui);
            for (UINT m = WM_KEYDOWN; m <= WM_KEYUP; m++)
                PostMessageA(gui.hwndFocus ? gui.hwndFocus : gWindow, m, atoi(a[0]), m == WM_KEYUP ? 0xC0000001 : 1);
        }
        if (!strcmp(v, "close"))
            PostMessageA(gWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!strcmp(v, "help")) // what the F1 key becomes in the window's loop
            PostMessageA(gWindow, 0x004D, 0, 0); // WM_KEYF1
        if (!strcmp(v, "drop"))
            Drop(a, count);
        if (!strcmp(v, "enabled"))
            for (DWORD start = GetTickCount(); !IsWindowEnabled(gWindow) && GetTickCount() - start < strtoul(a[0], NULL, 10);)
                Sleep(20);
        if (!strcmp(v, "scm"))
            result |= Scm(a, count);
        if (!strcmp(v, "launch")) {
            STARTUPINFOA si = {sizeof si};
            PROCESS_INFORMATION pi;
            BOOL ok = CreateProcessA(NULL, Unhex(a[0]), NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, Unhex(a[1]), &si, &pi);
            printf("launch error=%lu\n", ok ? 0 : GetLastError());
            if (ok)
                TerminateProcess(pi.hProcess, 1), CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
        }
        for (int k = 0; k < count && (*v == 'm' || *v == 'a' || *v == 'k'); k++) {
            char name[300]; // a child holds a mutex named after its pid for its whole life
            snprintf(name, sizeof name, *v == 'm' ? "%s" : "probe-child-%s", a[k]);
            if (!strcmp(a[k], "hold"))
                Sleep(INFINITE);
            HANDLE m = !strcmp(v, "mutex") && count > 1 ? CreateMutexA(NULL, FALSE, name) : OpenMutexA(SYNCHRONIZE, FALSE, name);
            int tavi = !lstrcmpiA(Entry(atoi(a[k])).szExeFile, "tavi.exe"); // or a tavi left by a test
            HANDLE p = (m || tavi) && *v == 'k' ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, atoi(a[k])) : NULL;
            if (p)
                TerminateProcess(p, 1), WaitForSingleObject(p, 5000), CloseHandle(p);
            printf("%s name=%s exists=%d\n", v, a[k], m != NULL);
            fflush(stdout);
        }
        if (!strcmp(v, "res")) {
            HMODULE exe = LoadLibraryExA(a[0], NULL, LOAD_LIBRARY_AS_DATAFILE);
            HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(atoi(a[2])), MAKEINTRESOURCEA(atoi(a[1])));
            static char data[65536];
            DWORD size = found ? SizeofResource(exe, found) : 0;
            memcpy(data, found ? LockResource(LoadResource(exe, found)) : "", size < sizeof data ? size : 0);
            printf("res data=");
            for (DWORD i = 0; i < size && i < sizeof data; i++)
                printf("%02x", (unsigned char)data[i]);
            printf("\n");
        }
        if (!strcmp(v, "strings")) {
            HMODULE exe = LoadLibraryExA(a[0], NULL, LOAD_LIBRARY_AS_DATAFILE);
            for (int id = 1; id < 40; id++) {
                char text[1024];
                if (LoadStringA(exe, id, text, sizeof text))
                    printf("string id=%d text=%s\n", id, Hex(text));
            }
        }
        fflush(stdout);
        i += n;
    }
    return result;
}
