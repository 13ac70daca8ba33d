// The window road: the configuration window as a modeless dialog with one
// message loop on the main thread.
#include <windows.h>

#include "launcher/exit_codes.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "ui/config_dialog.h"
#include "ui/shell_functions.h"

typedef BOOL(WINAPI *ChangeWindowMessageFilterFn)(UINT message, DWORD flag);

// Lets files dropped from a program of lower integrity through to this
// elevated window. The function exists from Windows Vista on only.
static void AllowDropMessages(void)
{
    HMODULE user32 = LoadLibraryA("user32.dll");
    if (user32 == NULL)
        return;
    ChangeWindowMessageFilterFn filter =
        (ChangeWindowMessageFilterFn)(void *)GetProcAddress(user32, "ChangeWindowMessageFilter");
    if (filter == NULL)
        return;
    filter(WM_DROPFILES, 1);
    filter(WM_COPYDATA, 1);
    filter(0x0049, 1); // WM_COPYGLOBALDATA, which carries the drop's data
}

int RunWindowRoad(void)
{
    AllowDropMessages();
    HWND dialog = CreateDialogParamA(gInstance, MAKEINTRESOURCEA(IDD_CONFIG), GetDesktopWindow(),
                                     ConfigDialogProc, 0);
    if (dialog == NULL) {
        // Without a window the message loop would wait for ever. Leave the
        // service as the probe found it and report the failure.
        if (gProbe.wasRunning)
            StartWrappedService();
        return EXIT_INVALID;
    }
    ShowWindow(dialog, SW_SHOW);
    AcceptDroppedFiles(dialog);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    FreeShellFunctions();
    return EXIT_DONE;
}
