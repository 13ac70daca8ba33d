// boxdriver: finds, reads and answers message boxes of other processes.
//   boxdriver wait CAPTION TIMEOUT_MS BUTTON   BUTTON: ok yes no cancel none
//     waits for a visible top-level dialog (#32770) whose title is CAPTION
//     (ANSI bytes in hex after "hex:", or plain text), prints what it holds
//     (see message_box.h), then presses BUTTON. Exit 1 at the time-out.
//   boxdriver list
//     prints every visible top-level #32770 window.
#include "message_box.h"

#include <stdlib.h>

static BOOL CALLBACK ListProc(HWND window, LPARAM)
{
    char cls[64];
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(window)) {
        DescribeBox(stdout, window);
        printf("--\n");
    }
    return TRUE;
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
    static char caption[1024];
    ParseCaption(argv[2], caption, sizeof caption);
    return AnswerBox(stdout, caption, (DWORD)strtoul(argv[3], NULL, 10), BoxButtonId(argv[4]));
}
