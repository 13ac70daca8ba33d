// benchchild: the program that the benchmark has each service wrapper start,
// and that the driver also starts by itself as the floor.
//   benchchild LOGFILE [window] [run MIN_MS MAX_MS]
// Its entry point is the program's first instruction: there is no C run-time
// start-up before it, so the first thing it does is read the system-wide
// performance counter (QueryPerformanceCounter, comparable across the
// processes of one machine). It appends one line per event to LOGFILE (opened
// and closed per line, so that the children of one wrapper share the file):
//   start pid=N t=COUNTER
//   exit pid=N t=COUNTER
// window: creates one unowned top-level window and runs until WM_CLOSE has
// destroyed it (or WM_QUIT arrives). run MIN MAX: ends after a time drawn
// from MIN..MAX ms (the counter's low bits pick it, so that successive
// children end at different points of a wrapper's polling cycle). Without
// either it runs until WM_QUIT. "exit" is written just before ExitProcess.
// No C run-time: only kernel32 and user32 calls.
#include <windows.h>

static LARGE_INTEGER gStart;
static char gLog[MAX_PATH];

static char *AppendText(char *out, const char *text)
{
    while (*text)
        *out++ = *text++;
    return out;
}

static char *AppendNumber(char *out, unsigned long long value)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

static void LogEvent(const char *what, LONGLONG counter)
{
    char line[96];
    char *end = AppendText(line, what);
    end = AppendText(end, " pid=");
    end = AppendNumber(end, GetCurrentProcessId());
    end = AppendText(end, " t=");
    end = AppendNumber(end, (unsigned long long)counter);
    end = AppendText(end, "\r\n");
    HANDLE file = CreateFileA(gLog, FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, (DWORD)(end - line), &written, NULL);
    CloseHandle(file);
}

static __declspec(noreturn) void Finish(UINT code)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LogEvent("exit", now.QuadPart);
    ExitProcess(code);
}

// The command line split at blanks; the first word is the program itself.
// The benchmark's paths have no blanks, so no quoting is read.
static int SplitWords(char *line, char **words, int room)
{
    int count = 0;
    while (*line && count < room) {
        while (*line == ' ' || *line == '\t')
            *line++ = '\0';
        if (*line == '\0')
            break;
        words[count++] = line;
        while (*line && *line != ' ' && *line != '\t')
            line++;
    }
    return count;
}

static unsigned long ParseNumber(const char *text)
{
    unsigned long value = 0;
    while (*text >= '0' && *text <= '9')
        value = value * 10 + (unsigned long)(*text++ - '0');
    return value;
}

static LRESULT CALLBACK ChildWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void CreateChildWindow(void)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = ChildWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "benchchild";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "benchchild", "bench child", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, NULL, NULL,
                                  windowClass.hInstance, NULL);
    ShowWindow(window, SW_SHOWNOACTIVATE);
}

extern "C" void __stdcall BenchChildEntry(void)
{
    QueryPerformanceCounter(&gStart);

    static char line[1024];
    lstrcpynA(line, GetCommandLineA(), sizeof line);
    char *words[8];
    int count = SplitWords(line, words, 8);
    if (count < 2)
        ExitProcess(2);
    lstrcpynA(gLog, words[1], sizeof gLog);
    LogEvent("start", gStart.QuadPart);

    int window = 0;
    DWORD runMs = INFINITE;
    for (int i = 2; i < count; i++) {
        if (lstrcmpA(words[i], "window") == 0) {
            window = 1;
        } else if (lstrcmpA(words[i], "run") == 0 && i + 2 < count) {
            unsigned long low = ParseNumber(words[i + 1]);
            unsigned long high = ParseNumber(words[i + 2]);
            runMs = low;
            if (high > low)
                runMs += (DWORD)((unsigned long long)gStart.QuadPart / 1000 % (high - low + 1));
            i += 2;
        }
    }

    // A message queue from the start, so that a wrapper's WM_QUIT to the
    // thread is received whatever the mode.
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    if (window)
        CreateChildWindow();

    DWORD begin = GetTickCount();
    for (;;) {
        DWORD wait = INFINITE;
        if (runMs != INFINITE) {
            DWORD elapsed = GetTickCount() - begin;
            if (elapsed >= runMs)
                Finish(0);
            wait = runMs - elapsed;
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, wait, QS_ALLINPUT);
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                Finish((UINT)message.wParam);
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}
