// boxdriver: finds, reads and answers message boxes and other top-level
// dialogs of other processes.
//   boxdriver wait CAPTION TIMEOUT_MS BUTTON   BUTTON: ok yes no cancel none
//     waits for a visible top-level dialog (#32770) whose title is CAPTION
//     (ANSI bytes, given in hex with a leading "hex:" or as plain text),
//     prints what it holds, then presses BUTTON. Exit 1 at the time-out.
//   boxdriver list
//     prints every visible top-level #32770 window.
// Printed lines: hwnd=, pid=, caption=HEX, text=HEX (static 0xFFFF),
// owner=HEX (0 for none), owner_pid=, buttons=ID,ID (child buttons by id),
// icon=0|1 (a static with SS_ICON).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char gWanted[1024];

static void PrintHex(const char *key, const char *text)
{
    printf("%s=", key);
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        printf("%02x", *p);
    printf("\n");
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

static void ParseCaption(const char *arg)
{
    if (strncmp(arg, "hex:", 4) == 0) {
        size_t n = 0;
        for (const char *p = arg + 4; p[0] && p[1] && n + 1 < sizeof gWanted; p += 2)
            gWanted[n++] = (char)(HexValue(p[0]) * 16 + HexValue(p[1]));
        gWanted[n] = '\0';
    } else {
        lstrcpynA(gWanted, arg, sizeof gWanted);
    }
}

static int IsDialog(HWND window)
{
    char cls[64];
    GetClassNameA(window, cls, sizeof cls);
    return lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(window);
}

struct Found {
    HWND window;
};

static BOOL CALLBACK FindProc(HWND window, LPARAM param)
{
    char title[1024];
    if (!IsDialog(window))
        return TRUE;
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(title, gWanted) != 0)
        return TRUE;
    ((Found *)param)->window = window;
    return FALSE;
}

static BOOL CALLBACK ButtonProc(HWND child, LPARAM)
{
    char cls[64];
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") == 0 && IsWindowVisible(child))
        printf("%d,", GetDlgCtrlID(child));
    return TRUE;
}

static BOOL CALLBACK IconProc(HWND child, LPARAM param)
{
    char cls[64];
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0 &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
        SendMessageA(child, STM_GETICON, 0, 0) != 0)
        *(int *)param = 1;
    return TRUE;
}

static void Describe(HWND window)
{
    char text[4096];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    printf("hwnd=%llx\n", (unsigned long long)(UINT_PTR)window);
    printf("pid=%lu\n", pid);
    GetWindowTextA(window, text, sizeof text);
    PrintHex("caption", text);
    text[0] = '\0';
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    PrintHex("text", text);
    HWND owner = GetWindow(window, GW_OWNER);
    DWORD ownerPid = 0;
    if (owner)
        GetWindowThreadProcessId(owner, &ownerPid);
    printf("owner=%llx\nowner_pid=%lu\n", (unsigned long long)(UINT_PTR)owner, ownerPid);
    printf("enabled=%d\n", IsWindowEnabled(window) ? 1 : 0);
    printf("buttons=");
    EnumChildWindows(window, ButtonProc, 0);
    printf("\n");
    int icon = 0;
    EnumChildWindows(window, IconProc, (LPARAM)&icon);
    printf("icon=%d\n", icon);
    fflush(stdout);
}

static BOOL CALLBACK ListProc(HWND window, LPARAM)
{
    if (IsDialog(window)) {
        Describe(window);
        printf("--\n");
    }
    return TRUE;
}

static int ButtonId(const char *name)
{
    if (!lstrcmpiA(name, "ok")) return IDOK;
    if (!lstrcmpiA(name, "yes")) return IDYES;
    if (!lstrcmpiA(name, "no")) return IDNO;
    if (!lstrcmpiA(name, "cancel")) return IDCANCEL;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc >= 2 && !lstrcmpA(argv[1], "list")) {
        EnumWindows(ListProc, 0);
        return 0;
    }
    if (argc < 5 || lstrcmpA(argv[1], "wait")) {
        fprintf(stderr, "usage: boxdriver wait CAPTION TIMEOUT_MS BUTTON | boxdriver list\n");
        return 2;
    }
    ParseCaption(argv[2]);
    DWORD timeout = (DWORD)strtoul(argv[3], NULL, 10);
    int button = ButtonId(argv[4]);
    DWORD start = GetTickCount();
    for (;;) {
        Found found = {NULL};
        EnumWindows(FindProc, (LPARAM)&found);
        if (found.window) {
            // Let the box finish laying itself out before it is read.
            Sleep(200);
            Describe(found.window);
            if (button) {
                HWND control = GetDlgItem(found.window, button);
                if (control == NULL) {
                    printf("pressed=none\n");
                    return 3;
                }
                PostMessageA(found.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             (LPARAM)control);
                printf("pressed=%d\n", button);
            }
            return 0;
        }
        if (GetTickCount() - start > timeout) {
            printf("timeout\n");
            return 1;
        }
        Sleep(50);
    }
}
