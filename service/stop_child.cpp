// The four stop requests: window messages to each unowned top-level window
// of the child, or Ctrl+Break to its console process group.
#include "service/child_process.h"
#include "service/service_host.h"
#include "settings/service_settings.h"

// A window that does not answer must not hold the stop: the SCM allows the
// stop 3000 ms. Each message waits at most this long, and a thread that let
// one message time out is sent nothing more, since every window of a thread
// (Wine gives each GUI thread a hidden IME window too) hangs with it.
static const UINT kMessageTimeoutMs = 1000;
enum { MAX_HUNG_THREADS = 16 };

// The threads of the current request that did not answer; the request runs
// on one thread at a time (the control handler, or the window's test start).
static DWORD sHungThreads[MAX_HUNG_THREADS];
static int sHungCount;

static int IsHungThread(DWORD threadId)
{
    for (int i = 0; i < sHungCount; i++)
        if (sHungThreads[i] == threadId)
            return 1;
    return 0;
}

static void SendStopMessage(HWND window, DWORD threadId, UINT message, WPARAM wParam)
{
    DWORD_PTR result;
    if (IsHungThread(threadId))
        return;
    if (!SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &result) &&
        GetLastError() == ERROR_TIMEOUT && sHungCount < MAX_HUNG_THREADS)
        sHungThreads[sHungCount++] = threadId;
}

BOOL CALLBACK CloseChildWindowsProc(HWND window, LPARAM method)
{
    if (GetWindow(window, GW_OWNER) != NULL)
        return TRUE;
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(window, &processId);
    if (processId != gRuntime.childPid)
        return TRUE;
    if (method == STOP_SYSANDCLOSE || method == STOP_SYSCOMMAND)
        SendStopMessage(window, threadId, WM_SYSCOMMAND, SC_CLOSE);
    if (method != STOP_SYSCOMMAND)
        SendStopMessage(window, threadId, WM_CLOSE, 0);
    return TRUE;
}

void RequestChildStop(int method, DWORD processId)
{
    // Group 0 would be every process on this console, the host included.
    if (processId == 0)
        return;
    if (method == STOP_CTRLBREAK) {
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, processId);
        return;
    }
    sHungCount = 0;
    EnumWindows(CloseChildWindowsProc, (LPARAM)method);
}
