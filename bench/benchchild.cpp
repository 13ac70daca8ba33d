// benchchild: the program that the benchmark has each service wrapper start,
// and that the driver also starts by itself as the floor.
//   benchchild LOGFILE [window] [run MIN_MS MAX_MS] [write BYTES BLOCK]
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
// either it runs until WM_QUIT. write BYTES BLOCK: writes BYTES to its
// standard output as fast as it can, in WriteFile calls of BLOCK bytes (a
// multiple of 64), then ends; each block is 64-byte lines ending in CR LF, the
// first "block NNNNNNNNNN " (the block's number from 0) and dashes, the others
// dots, so that a reader of the output can tell lost or repeated bytes. It
// then appends to LOGFILE
//   written pid=N bytes=B block=K writes=W total=T freq=F write_error=E each=D,...
// with the counter ticks (F a second) from its first instruction to the end of
// its last write (T) and of each whole write (D), and the code of a failed
// write (E; the writes stop there).
// "exit" is written just before ExitProcess.
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

static void AppendToLog(const char *text, const char *end)
{
    HANDLE file =
        CreateFileA(gLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, text, (DWORD)(end - text), &written, NULL);
    CloseHandle(file);
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
    AppendToLog(line, end);
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

static LONGLONG gWriteTicks[65536];

// The write mode: BYTES in blocks of BLOCK, timed, then the "written" line.
static void WriteOutput(unsigned long long bytes, DWORD block)
{
    DWORD writes = (DWORD)(bytes / block);
    if (block < 64 || block % 64 != 0 || writes > sizeof gWriteTicks / sizeof gWriteTicks[0])
        ExitProcess(2);
    char *data = (char *)VirtualAlloc(NULL, block, MEM_COMMIT, PAGE_READWRITE);
    char *report =
        (char *)VirtualAlloc(NULL, 256 + (SIZE_T)writes * 21, MEM_COMMIT, PAGE_READWRITE);
    if (data == NULL || report == NULL)
        ExitProcess(3);
    for (DWORD i = 0; i < block; i++)
        data[i] = i % 64 == 62 ? '\r' : i % 64 == 63 ? '\n' : i < 64 ? '-' : '.';
    AppendText(data, "block 0000000000 ");

    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD error = out == NULL || out == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : 0;
    DWORD done = 0; // whole writes
    LARGE_INTEGER before, after = gStart;
    for (; done < writes && error == 0; done++) {
        unsigned long number = done;
        for (int digit = 15; digit >= 6; digit--, number /= 10)
            data[digit] = (char)('0' + number % 10);
        DWORD written = 0;
        QueryPerformanceCounter(&before);
        BOOL ok = WriteFile(out, data, block, &written, NULL);
        QueryPerformanceCounter(&after);
        gWriteTicks[done] = after.QuadPart - before.QuadPart;
        if (!ok || written != block) {
            error = ok ? ERROR_WRITE_FAULT : GetLastError();
            break;
        }
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    char *end = AppendText(report, "written pid=");
    end = AppendNumber(end, GetCurrentProcessId());
    end = AppendText(end, " bytes=");
    end = AppendNumber(end, (unsigned long long)done * block);
    end = AppendText(end, " block=");
    end = AppendNumber(end, block);
    end = AppendText(end, " writes=");
    end = AppendNumber(end, done);
    end = AppendText(end, " total=");
    end = AppendNumber(end, (unsigned long long)(after.QuadPart - gStart.QuadPart));
    end = AppendText(end, " freq=");
    end = AppendNumber(end, (unsigned long long)frequency.QuadPart);
    end = AppendText(end, " write_error=");
    end = AppendNumber(end, error);
    end = AppendText(end, " each=");
    for (DWORD i = 0; i < done; i++) {
        if (i > 0)
            *end++ = ',';
        end = AppendNumber(end, (unsigned long long)gWriteTicks[i]);
    }
    end = AppendText(end, "\r\n");
    AppendToLog(report, end);
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
    HWND window =
        CreateWindowExA(0, "benchchild", "bench child", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 320, 200, NULL, NULL, windowClass.hInstance, NULL);
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
        } else if (lstrcmpA(words[i], "write") == 0 && i + 2 < count) {
            WriteOutput(ParseNumber(words[i + 1]), ParseNumber(words[i + 2]));
            Finish(0);
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
