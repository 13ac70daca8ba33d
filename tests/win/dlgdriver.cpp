// dlgdriver: finds, reads and drives a dialog window of another process, as
// a user would with the mouse and keyboard.
//   dlgdriver find CAPTION TIMEOUT_MS [PID]   waits for a visible top-level
//       window titled exactly CAPTION (ANSI bytes, "hex:..." or plain), of
//       process PID when given, and dumps it
//   dlgdriver dump HWND                 dumps the window HWND (hex)
//   dlgdriver settext HWND ID HEX       WM_SETTEXT with these ANSI bytes to
//       control ID (ID 0: the window itself)
//   dlgdriver check HWND ID STATE       BM_SETCHECK
//   dlgdriver select HWND ID INDEX      CB_SETCURSEL (INDEX -1: no selection)
//   dlgdriver click HWND ID             posts WM_COMMAND(ID, BN_CLICKED) to HWND
//   dlgdriver key HWND VK               posts WM_KEYDOWN and WM_KEYUP of VK to the
//       control that has the focus in HWND's thread (HWND when none has), so
//       the message goes through the owner's message loop and IsDialogMessage
//   dlgdriver close HWND                posts WM_CLOSE
//   dlgdriver syscommand HWND           posts WM_SYSCOMMAND SC_CLOSE
//   dlgdriver wait HWND gone|enabled TIMEOUT_MS
//   dlgdriver kill HWND                 terminates the process of HWND (for
//       cleaning up after a failed test)
//   dlgdriver box CAPTION TIMEOUT_MS BUTTON   as "boxdriver wait", same output
//   dlgdriver serve DIR                 runs command lines from files: DIR\cmd-1,
//       DIR\cmd-2, ... (one argument per line; "quit" ends), writing each
//       one's output, then "exit=CODE", to DIR\out-N. A test thus drives a
//       window without a Wine process start per step. Ends by itself after
//       ten minutes without a command.
// Dump lines: hwnd= pid= class= caption=HEX style= exstyle= rect=l,t,r,b
// client=l,t,r,b owner= workarea=l,t,r,b enabled= visible= icon_small=
// icon_big= focus= (control id) foreground=, then one "control" line per
// child window (all descendants, in z order) with space-separated fields id=
// parent= hwnd= class= style= exstyle= enabled= visible= rect= text=HEX,
// check= for buttons, limit= for edits, cursel= and items=HEX,HEX for combo
// boxes. Numbers in hex are without 0x. Several commands can be given at
// once, separated by ";" arguments. Exit 1 at a time-out, 2 on bad usage, 3
// when a window or control does not exist.
#include "message_box.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const UINT kSendTimeoutMs = 5000;
static const DWORD kServeIdleMs = 600000;

static FILE *gOut;

static char gWanted[1024];
static DWORD gWantedPid;

static void PrintHexText(const char *text)
{
    PrintHex(gOut, text);
}

static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs,
                             &result))
        return -1;
    return (LRESULT)result;
}

static void GetText(HWND window, char *out, int size)
{
    out[0] = '\0';
    DWORD_PTR result = 0;
    // WM_GETTEXT rather than GetWindowTextA: the text of another process's
    // edit control is not the window's stored title.
    SendMessageTimeoutA(window, WM_GETTEXT, (WPARAM)size, (LPARAM)out, SMTO_NORMAL,
                        kSendTimeoutMs, &result);
    out[size - 1] = '\0';
}

static HWND FocusOf(HWND window)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info))
        return NULL;
    return info.hwndFocus;
}

static BOOL CALLBACK ControlProc(HWND child, LPARAM)
{
    char cls[64];
    char text[1024];
    GetClassNameA(child, cls, sizeof cls);
    RECT rect;
    GetWindowRect(child, &rect);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    fprintf(gOut,
            "control id=%d parent=%llx hwnd=%llx class=%s style=%lx exstyle=%lx enabled=%d "
            "visible=%d rect=%ld,%ld,%ld,%ld text=",
            GetDlgCtrlID(child), (unsigned long long)(UINT_PTR)GetParent(child),
            (unsigned long long)(UINT_PTR)child, cls, (unsigned long)style,
            (unsigned long)GetWindowLongA(child, GWL_EXSTYLE), IsWindowEnabled(child) ? 1 : 0,
            IsWindowVisible(child) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom);
    GetText(child, text, sizeof text);
    PrintHexText(text);
    if (!lstrcmpiA(cls, "Button"))
        fprintf(gOut, " check=%d", (int)Send(child, BM_GETCHECK, 0, 0));
    if (!lstrcmpiA(cls, "Edit"))
        fprintf(gOut, " limit=%ld", (long)Send(child, EM_GETLIMITTEXT, 0, 0));
    if (!lstrcmpiA(cls, "ComboBox")) {
        int count = (int)Send(child, CB_GETCOUNT, 0, 0);
        fprintf(gOut, " cursel=%d items=", (int)Send(child, CB_GETCURSEL, 0, 0));
        for (int i = 0; i < count; i++) {
            // Wine garbles CB_GETLBTEXT of another process in its ANSI form:
            // read the item in UTF-16 and convert it as the ANSI call would.
            static WCHAR wide[1024];
            text[0] = '\0';
            wide[0] = 0;
            DWORD_PTR length = 0;
            if (SendMessageTimeoutW(child, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, kSendTimeoutMs,
                                    &length) &&
                length < 1024 &&
                SendMessageTimeoutW(child, CB_GETLBTEXT, i, (LPARAM)wide, SMTO_NORMAL,
                                    kSendTimeoutMs, &length))
                WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
            if (i)
                fprintf(gOut, ",");
            PrintHexText(text);
        }
    }
    fprintf(gOut, "\n");
    return TRUE;
}

static void Dump(HWND window)
{
    char text[1024];
    char cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, cls, sizeof cls);
    fprintf(gOut, "hwnd=%llx\npid=%lu\nclass=%s\n", (unsigned long long)(UINT_PTR)window, pid, cls);
    GetWindowTextA(window, text, sizeof text);
    fprintf(gOut, "caption=");
    PrintHexText(text);
    fprintf(gOut, "\n");
    RECT rect;
    GetWindowRect(window, &rect);
    fprintf(gOut, "style=%lx\nexstyle=%lx\nrect=%ld,%ld,%ld,%ld\n",
            (unsigned long)GetWindowLongA(window, GWL_STYLE),
            (unsigned long)GetWindowLongA(window, GWL_EXSTYLE), rect.left, rect.top, rect.right,
            rect.bottom);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    fprintf(gOut, "client=%ld,%ld,%ld,%ld\n", origin.x, origin.y, origin.x + client.right,
            origin.y + client.bottom);
    fprintf(gOut, "owner=%llx\n", (unsigned long long)(UINT_PTR)GetWindow(window, GW_OWNER));
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    fprintf(gOut, "workarea=%ld,%ld,%ld,%ld\n", work.left, work.top, work.right, work.bottom);
    fprintf(gOut, "enabled=%d\nvisible=%d\n", IsWindowEnabled(window) ? 1 : 0,
            IsWindowVisible(window) ? 1 : 0);
    // Wine answers 0 to WM_GETICON from another process even when the
    // window has icons; the tests read the X window's icon instead.
    fprintf(gOut, "icon_small=%llx\nicon_big=%llx\n",
            (unsigned long long)Send(window, WM_GETICON, ICON_SMALL, 0),
            (unsigned long long)Send(window, WM_GETICON, ICON_BIG, 0));
    HWND focus = FocusOf(window);
    fprintf(gOut, "focus=%d\n", focus ? GetDlgCtrlID(focus) : 0);
    fprintf(gOut, "foreground=%d\n", GetForegroundWindow() == window ? 1 : 0);
    EnumChildWindows(window, ControlProc, 0);
    fflush(gOut);
}

static BOOL CALLBACK FindProc(HWND window, LPARAM param)
{
    char title[1024];
    if (!IsWindowVisible(window))
        return TRUE;
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(title, gWanted) != 0)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (gWantedPid != 0 && pid != gWantedPid)
        return TRUE;
    *(HWND *)param = window;
    return FALSE;
}

static HWND ParseWindow(const char *arg)
{
    return (HWND)(UINT_PTR)strtoull(arg, NULL, 16);
}

static HWND Control(HWND window, const char *id)
{
    int value = atoi(id);
    return value == 0 ? window : GetDlgItem(window, value);
}

static int Find(const char *caption, DWORD timeout)
{
    ParseCaption(caption, gWanted, sizeof gWanted);
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = NULL;
        EnumWindows(FindProc, (LPARAM)&found);
        if (found) {
            // Let the window finish laying itself out before it is read.
            Sleep(200);
            Dump(found);
            return 0;
        }
        if (GetTickCount() - start > timeout) {
            fprintf(gOut, "timeout\n");
            return 1;
        }
        Sleep(50);
    }
}

static int WaitFor(HWND window, const char *state, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        int reached;
        if (!lstrcmpA(state, "gone"))
            reached = !IsWindow(window);
        else
            reached = IsWindow(window) && IsWindowEnabled(window);
        if (reached) {
            fprintf(gOut, "elapsed=%lu\n", GetTickCount() - start);
            return 0;
        }
        if (GetTickCount() - start > timeout) {
            fprintf(gOut, "timeout\n");
            return 1;
        }
        Sleep(20);
    }
}

static int Usage(void)
{
    fprintf(stderr, "usage: dlgdriver find|dump|settext|check|select|click|key|close|"
                    "syscommand|wait|kill|box ... | dlgdriver serve DIR\n");
    return 2;
}

static int RunCommand(int argc, char **argv)
{
    if (argc < 3)
        return Usage();
    const char *command = argv[1];
    if (!lstrcmpA(command, "box"))
    {
        if (argc < 5)
            return Usage();
        ParseCaption(argv[2], gWanted, sizeof gWanted);
        return AnswerBox(gOut, gWanted, (DWORD)strtoul(argv[3], NULL, 10), BoxButtonId(argv[4]));
    }
    if (!lstrcmpA(command, "find")) {
        if (argc < 4)
            return Usage();
        gWantedPid = argc > 4 ? (DWORD)strtoul(argv[4], NULL, 10) : 0;
        return Find(argv[2], (DWORD)strtoul(argv[3], NULL, 10));
    }

    HWND window = ParseWindow(argv[2]);
    if (!lstrcmpA(command, "wait"))
        return argc < 5 ? Usage() : WaitFor(window, argv[3], (DWORD)strtoul(argv[4], NULL, 10));
    if (!IsWindow(window)) {
        fprintf(gOut, "nowindow\n");
        return 3;
    }
    if (!lstrcmpA(command, "dump")) {
        Dump(window);
        return 0;
    }
    if (!lstrcmpA(command, "kill")) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process == NULL)
            return 3;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
        return 0;
    }
    if (!lstrcmpA(command, "close"))
        return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 3;
    if (!lstrcmpA(command, "syscommand"))
        return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 3;
    if (argc < 4)
        return Usage();
    if (!lstrcmpA(command, "key")) {
        HWND target = FocusOf(window);
        if (target == NULL)
            target = window;
        WPARAM vk = (WPARAM)strtoul(argv[3], NULL, 0);
        UINT scan = MapVirtualKeyA((UINT)vk, 0);
        fprintf(gOut, "target=%d\n", target == window ? 0 : GetDlgCtrlID(target));
        PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
        PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
        return 0;
    }
    HWND control = Control(window, argv[3]);
    if (control == NULL) {
        fprintf(gOut, "nocontrol\n");
        return 3;
    }
    if (!lstrcmpA(command, "click"))
        return PostMessageA(window, WM_COMMAND, MAKEWPARAM(atoi(argv[3]), BN_CLICKED),
                            (LPARAM)control) ? 0 : 3;
    if (argc < 5)
        return Usage();
    if (!lstrcmpA(command, "settext")) {
        static char text[4096];
        Unhex(argv[4], text, sizeof text);
        fprintf(gOut, "result=%ld\n", (long)Send(control, WM_SETTEXT, 0, (LPARAM)text));
        return 0;
    }
    if (!lstrcmpA(command, "check")) {
        Send(control, BM_SETCHECK, (WPARAM)atoi(argv[4]), 0);
        return 0;
    }
    if (!lstrcmpA(command, "select")) {
        fprintf(gOut, "result=%ld\n", (long)Send(control, CB_SETCURSEL, (WPARAM)atoi(argv[4]), 0));
        return 0;
    }
    return Usage();
}

// Commands separated by ";" run one after the other; the first failure ends
// the run and gives its code.
static int RunLine(int argc, char **argv)
{
    static char *segment[64];
    int first = 0;
    while (first < argc) {
        int count = 1;
        segment[0] = (char *)"dlgdriver";
        int i = first;
        for (; i < argc && lstrcmpA(argv[i], ";") != 0 && count < 63; i++)
            segment[count++] = argv[i];
        segment[count] = NULL;
        int code = RunCommand(count, segment);
        fflush(gOut);
        if (code != 0)
            return code;
        first = i + 1;
    }
    return 0;
}

static int Serve(const char *directory)
{
    static char content[65536];
    static char *args[1024];
    char path[MAX_PATH], temporary[MAX_PATH];
    for (int n = 1;; n++) {
        snprintf(path, sizeof path, "%s\\cmd-%d", directory, n);
        DWORD start = GetTickCount();
        while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
            if (GetTickCount() - start > kServeIdleMs)
                return 1;
            Sleep(10);
        }
        FILE *file = fopen(path, "rb");
        size_t length = file ? fread(content, 1, sizeof content - 1, file) : 0;
        if (file)
            fclose(file);
        content[length] = '\0';
        // One argument per line, empty ones included (an empty text).
        int count = 0;
        for (char *line = content; *line != '\0' && count < 1023;) {
            char *end = strchr(line, '\n');
            if (end != NULL)
                *end = '\0';
            args[count++] = line;
            if (end == NULL)
                break;
            line = end + 1;
        }
        if (count == 1 && !lstrcmpA(args[0], "quit"))
            return 0;
        snprintf(temporary, sizeof temporary, "%s\\out-%d.tmp", directory, n);
        gOut = fopen(temporary, "wb");
        if (gOut == NULL)
            return 2;
        int code = RunLine(count, args);
        fprintf(gOut, "exit=%d\n", code);
        fclose(gOut);
        snprintf(path, sizeof path, "%s\\out-%d", directory, n);
        MoveFileA(temporary, path);
    }
}

int main(int argc, char **argv)
{
    gOut = stdout;
    if (argc == 3 && !lstrcmpA(argv[1], "serve"))
        return Serve(argv[2]);
    return RunLine(argc - 1, argv + 1);
}
