// The four stop requests: window messages to each unowned top-level window
// of the child, or Ctrl+Break to its console process group.
#include "service/child_process.h"
#include "service/service_host.h"
#include "settings/service_settings.h"

// A window that does not answer must not hold the stop: the SCM allows the
// stop 3000 ms, and sysandclose sends two messages to a window.
static const UINT kMessageTimeoutMs = 1000;

static void SendStopMessage(HWND window, UINT message, WPARAM wParam)
{
    DWORD_PTR result;
    SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kMessageTimeoutMs, &result);
}

BOOL CALLBACK CloseChildWindowsProc(HWND window, LPARAM method)
{
    if (GetWindow(window, GW_OWNER) != NULL)
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != gRuntime.childPid)
        return TRUE;
    if (method == STOP_SYSANDCLOSE || method == STOP_SYSCOMMAND)
        SendStopMessage(window, WM_SYSCOMMAND, SC_CLOSE);
    if (method != STOP_SYSCOMMAND)
        SendStopMessage(window, WM_CLOSE, 0);
    return TRUE;
}

void RequestChildStop(int method, DWORD processId)
{
    // Group 0 would be every process on this console, the host included.
    if (processId == 0)
        return;
    if (method == STOP_CTRLBREAK)
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, processId);
    else
        EnumWindows(CloseChildWindowsProc, (LPARAM)method);
}
