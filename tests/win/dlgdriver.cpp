// dlgdriver: finds, reads and drives a dialog window of another process, as
// a user would with the mouse and keyboard.
//   dlgdriver find CAPTION TIMEOUT_MS   waits for a visible top-level window
//       titled exactly CAPTION (ANSI bytes, "hex:..." or plain) and dumps it
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
//   dlgdriver help HWND                 sends WM_HELP with a HELPINFO for HWND
//   dlgdriver wait HWND gone|enabled|disabled TIMEOUT_MS
// Dump lines: hwnd= pid= class= caption=HEX style= exstyle= rect=l,t,r,b
// owner= enabled= visible= icon_small= icon_big= focus= (control id), then
// one "control" line per child window (all descendants, in z order) with
// space-separated fields id= parent= class= style= exstyle= enabled=
// visible= rect= text=HEX, check= for buttons, cursel= and items=HEX,HEX
// for combo boxes. Numbers in hex are without 0x. Exit 1 at a time-out,
// 2 on bad usage, 3 when a window or control does not exist.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const UINT kSendTimeoutMs = 5000;

static char gWanted[1024];

static int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

static void Unhex(const char *hex, char *out, size_t size)
{
    size_t n = 0;
    for (const char *p = hex; p[0] && p[1] && n + 1 < size; p += 2)
        out[n++] = (char)(HexValue(p[0]) * 16 + HexValue(p[1]));
    out[n] = '\0';
}

static void PrintHexText(const char *text)
{
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        printf("%02x", *p);
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
    printf("control id=%d parent=%llx hwnd=%llx class=%s style=%lx exstyle=%lx enabled=%d "
           "visible=%d rect=%ld,%ld,%ld,%ld text=",
           GetDlgCtrlID(child), (unsigned long long)(UINT_PTR)GetParent(child),
           (unsigned long long)(UINT_PTR)child, cls, (unsigned long)style,
           (unsigned long)GetWindowLongA(child, GWL_EXSTYLE), IsWindowEnabled(child) ? 1 : 0,
           IsWindowVisible(child) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom);
    GetText(child, text, sizeof text);
    PrintHexText(text);
    if (!lstrcmpiA(cls, "Button"))
        printf(" check=%d", (int)Send(child, BM_GETCHECK, 0, 0));
    if (!lstrcmpiA(cls, "ComboBox")) {
        int count = (int)Send(child, CB_GETCOUNT, 0, 0);
        printf(" cursel=%d items=", (int)Send(child, CB_GETCURSEL, 0, 0));
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
                printf(",");
            PrintHexText(text);
        }
    }
    printf("\n");
    return TRUE;
}

static void Dump(HWND window)
{
    char text[1024];
    char cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, cls, sizeof cls);
    printf("hwnd=%llx\npid=%lu\nclass=%s\n", (unsigned long long)(UINT_PTR)window, pid, cls);
    GetWindowTextA(window, text, sizeof text);
    printf("caption=");
    PrintHexText(text);
    printf("\n");
    RECT rect;
    GetWindowRect(window, &rect);
    printf("style=%lx\nexstyle=%lx\nrect=%ld,%ld,%ld,%ld\n",
           (unsigned long)GetWindowLongA(window, GWL_STYLE),
           (unsigned long)GetWindowLongA(window, GWL_EXSTYLE), rect.left, rect.top, rect.right,
           rect.bottom);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    printf("client=%ld,%ld,%ld,%ld\n", origin.x, origin.y, origin.x + client.right,
           origin.y + client.bottom);
    printf("owner=%llx\n", (unsigned long long)(UINT_PTR)GetWindow(window, GW_OWNER));
    printf("enabled=%d\nvisible=%d\n", IsWindowEnabled(window) ? 1 : 0,
           IsWindowVisible(window) ? 1 : 0);
    DWORD_PTR small = 0, big = 0;
    BOOL smallOk = SendMessageTimeoutA(window, WM_GETICON, ICON_SMALL, 0, SMTO_NORMAL,
                                       kSendTimeoutMs, &small);
    DWORD smallError = GetLastError();
    BOOL bigOk = SendMessageTimeoutA(window, WM_GETICON, ICON_BIG, 0, SMTO_NORMAL,
                                     kSendTimeoutMs, &big);
    printf("icon_small=%llx\nicon_big=%llx\nicon_ok=%d,%d err=%lu\n", (unsigned long long)small,
           (unsigned long long)big, smallOk, bigOk, smallError);
    printf("plain=%llx,%llx,%llx\n", (unsigned long long)SendMessageA(window, WM_GETICON, ICON_SMALL, 0), (unsigned long long)SendMessageW(window, WM_GETICON, ICON_BIG, 0), (unsigned long long)SendMessageA(window, WM_GETICON, ICON_SMALL2, 0));
    HWND focus = FocusOf(window);
    printf("focus=%d\n", focus ? GetDlgCtrlID(focus) : 0);
    printf("foreground=%d\n", GetForegroundWindow() == window ? 1 : 0);
    EnumChildWindows(window, ControlProc, 0);
    fflush(stdout);
}

static BOOL CALLBACK FindProc(HWND window, LPARAM param)
{
    char title[1024];
    if (!IsWindowVisible(window))
        return TRUE;
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(title, gWanted) != 0)
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
    if (strncmp(caption, "hex:", 4) == 0)
        Unhex(caption + 4, gWanted, sizeof gWanted);
    else
        lstrcpynA(gWanted, caption, sizeof gWanted);
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
            printf("timeout\n");
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
        else if (!lstrcmpA(state, "enabled"))
            reached = IsWindow(window) && IsWindowEnabled(window);
        else
            reached = IsWindow(window) && !IsWindowEnabled(window);
        if (reached) {
            printf("elapsed=%lu\n", GetTickCount() - start);
            return 0;
        }
        if (GetTickCount() - start > timeout) {
            printf("timeout\n");
            return 1;
        }
        Sleep(20);
    }
}

static int Usage(void)
{
    fprintf(stderr, "usage: dlgdriver find|dump|settext|check|select|click|key|close|"
                    "syscommand|help|wait ...\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return Usage();
    const char *command = argv[1];
    if (!lstrcmpA(command, "find"))
        return argc < 4 ? Usage() : Find(argv[2], (DWORD)strtoul(argv[3], NULL, 10));

    HWND window = ParseWindow(argv[2]);
    if (!lstrcmpA(command, "wait"))
        return argc < 5 ? Usage() : WaitFor(window, argv[3], (DWORD)strtoul(argv[4], NULL, 10));
    if (!IsWindow(window)) {
        printf("nowindow\n");
        return 3;
    }
    if (!lstrcmpA(command, "dump")) {
        Dump(window);
        return 0;
    }
    if (!lstrcmpA(command, "close"))
        return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 3;
    if (!lstrcmpA(command, "syscommand"))
        return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 3;
    if (!lstrcmpA(command, "help")) {
        HELPINFO info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.hItemHandle = window;
        GetCursorPos(&info.MousePos);
        printf("result=%ld\n", (long)Send(window, WM_HELP, 0, (LPARAM)&info));
        return 0;
    }
    if (argc < 4)
        return Usage();
    if (!lstrcmpA(command, "key")) {
        HWND target = FocusOf(window);
        if (target == NULL)
            target = window;
        WPARAM vk = (WPARAM)strtoul(argv[3], NULL, 0);
        UINT scan = MapVirtualKeyA((UINT)vk, 0);
        printf("target=%d\n", target == window ? 0 : GetDlgCtrlID(target));
        PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
        PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
        return 0;
    }
    HWND control = Control(window, argv[3]);
    if (control == NULL) {
        printf("nocontrol\n");
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
        printf("result=%ld\n", (long)Send(control, WM_SETTEXT, 0, (LPARAM)text));
        return 0;
    }
    if (!lstrcmpA(command, "check")) {
        Send(control, BM_SETCHECK, (WPARAM)atoi(argv[4]), 0);
        return 0;
    }
    if (!lstrcmpA(command, "select")) {
        printf("result=%ld\n", (long)Send(control, CB_SETCURSEL, (WPARAM)atoi(argv[4]), 0));
        return 0;
    }
    return Usage();
}
