// Reading and answering message boxes of other processes, shared by
// boxdriver and dlgdriver. A box is a visible top-level #32770 window found
// by its exact caption; what it holds is printed as key=value lines:
// hwnd=, pid=, caption=HEX, text=HEX (static 0xFFFF), owner=HEX (0 for none),
// owner_pid=, enabled=, buttons=ID,ID, (child buttons by id), icon=0|1.
#ifndef TAVI_TESTS_WIN_MESSAGE_BOX_H
#define TAVI_TESTS_WIN_MESSAGE_BOX_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

static int BoxHexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

// Hex digits into bytes, terminated within size.
static void Unhex(const char *hex, char *out, size_t size)
{
    size_t n = 0;
    for (const char *p = hex; p[0] && p[1] && n + 1 < size; p += 2)
        out[n++] = (char)(BoxHexValue(p[0]) * 16 + BoxHexValue(p[1]));
    out[n] = '\0';
}

static void PrintHex(FILE *out, const char *text)
{
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        fprintf(out, "%02x", *p);
}

// A caption given as "hex:..." (ANSI bytes in hex) or as plain text.
static void ParseCaption(const char *arg, char *out, size_t size)
{
    if (strncmp(arg, "hex:", 4) == 0)
        Unhex(arg + 4, out, size);
    else
        lstrcpynA(out, arg, (int)size);
}

static int BoxButtonId(const char *name)
{
    if (!lstrcmpiA(name, "ok")) return IDOK;
    if (!lstrcmpiA(name, "yes")) return IDYES;
    if (!lstrcmpiA(name, "no")) return IDNO;
    if (!lstrcmpiA(name, "cancel")) return IDCANCEL;
    return 0;
}

struct BoxSearch {
    const char *caption;
    HWND found;
};

static BOOL CALLBACK FindBoxProc(HWND window, LPARAM param)
{
    BoxSearch *search = (BoxSearch *)param;
    char cls[64];
    char title[1024];
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    GetWindowTextA(window, title, sizeof title);
    if (search->caption != NULL && lstrcmpA(title, search->caption) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND FindBox(const char *caption)
{
    BoxSearch search = {caption, NULL};
    EnumWindows(FindBoxProc, (LPARAM)&search);
    return search.found;
}

static BOOL CALLBACK PrintButtonProc(HWND child, LPARAM param)
{
    char cls[64];
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") == 0 && IsWindowVisible(child))
        fprintf((FILE *)param, "%d,", GetDlgCtrlID(child));
    return TRUE;
}

// A static with SS_ICON that shows an icon (Wine's boxes keep an empty one).
static BOOL CALLBACK FindIconProc(HWND child, LPARAM param)
{
    char cls[64];
    DWORD_PTR icon = 0;
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0 &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
        SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_NORMAL, 5000, &icon) && icon != 0)
        *(int *)param = 1;
    return TRUE;
}

static void DescribeBox(FILE *out, HWND box)
{
    char text[4096];
    DWORD pid = 0, ownerPid = 0;
    GetWindowThreadProcessId(box, &pid);
    fprintf(out, "hwnd=%llx\npid=%lu\ncaption=", (unsigned long long)(UINT_PTR)box, pid);
    text[0] = '\0';
    GetWindowTextA(box, text, sizeof text);
    PrintHex(out, text);
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    fprintf(out, "\ntext=");
    PrintHex(out, text);
    HWND owner = GetWindow(box, GW_OWNER);
    if (owner)
        GetWindowThreadProcessId(owner, &ownerPid);
    fprintf(out, "\nowner=%llx\nowner_pid=%lu\nenabled=%d\nbuttons=",
            (unsigned long long)(UINT_PTR)owner, ownerPid, IsWindowEnabled(box) ? 1 : 0);
    EnumChildWindows(box, PrintButtonProc, (LPARAM)out);
    int icon = 0;
    EnumChildWindows(box, FindIconProc, (LPARAM)&icon);
    fprintf(out, "\nicon=%d\n", icon);
    fflush(out);
}

// Waits for the box, prints it and presses the button (0: none). Returns 0,
// 1 at the time-out, 3 when the box has no such button.
static int AnswerBox(FILE *out, const char *caption, DWORD timeout, int button)
{
    DWORD start = GetTickCount();
    HWND box;
    while ((box = FindBox(caption)) == NULL) {
        if (GetTickCount() - start > timeout) {
            fprintf(out, "timeout\n");
            return 1;
        }
        Sleep(20);
    }
    // Let the box finish laying itself out before it is read.
    Sleep(200);
    DescribeBox(out, box);
    if (button == 0)
        return 0;
    HWND control = GetDlgItem(box, button);
    if (control == NULL) {
        fprintf(out, "pressed=none\n");
        return 3;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)control);
    fprintf(out, "pressed=%d\n", button);
    return 0;
}

#endif
