// The test start: launch the program as the service would, tell the user,
// then send the chosen stop request and wait a while for the program to end.
#include "ui/test_start.h"
#include "launcher/messages.h"
#include "resources/resource.h"
#include "service/child_command.h"
#include "service/child_environment.h"
#include "service/child_process.h"
#include "service/service_host.h"
#include "settings/service_settings.h"

// A program that never becomes idle must not freeze the window for ever.
static const DWORD kInputIdleWaitMs = 10000;
static const DWORD kEndWaitMs = 30000;
static const DWORD kPollMs = 100;

void TestStart(HWND dialog, const char *exe, const char *option, int method)
{
    // The launch would refuse this line, or the service its environment:
    // say so, as OK would, rather than end the test without a word. The
    // program gets the environment the service would give it.
    if (!ChildCommandLineFits(exe, option) || FormChildEnvironment() != 0) {
        ShowMessage(dialog, IDS_SETTINGS_REFUSED, NULL, kErrorCaption, MB_OK);
        return;
    }
    PROCESS_INFORMATION child;
    // No job: a test child is the user's to end when the stop fails. No log.
    if (LaunchChild(exe, option, method, NULL, NULL, &child)) {
        WaitForInputIdle(child.hProcess, kInputIdleWaitMs);
        SetForegroundWindow(dialog);
        ShowMessage(dialog, IDS_TEST_NOTICE, NULL, kCaption, MB_OK);
        gRuntime.childPid = child.dwProcessId;
        RequestChildStop(method, child.dwProcessId);
        // Elapsed time, not a deadline, so that the wrap of the tick count
        // after 49.7 days cannot end the wait early or stretch it.
        DWORD start = GetTickCount();
        while (GetTickCount() - start < kEndWaitMs &&
               WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT)
            Sleep(kPollMs);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    if (method == STOP_CTRLBREAK)
        FreeConsole();
}
