// runin DIR LINEFILE [TIMEOUT_MS]: starts a program with exactly the command
// line held (as ANSI bytes) in LINEFILE, in the current directory DIR, waits
// for it and exits with its exit code. Tests need exact bytes in tavi's
// command line, which Wine's own argv quoting would change.
// Exit 259 when the program is still running at the time-out (it is then
// left running), 255 when it could not be started.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: runin DIR LINEFILE [TIMEOUT_MS]\n");
        return 255;
    }
    static char line[32768];
    FILE *file = fopen(argv[2], "rb");
    if (file == NULL)
        return 255;
    size_t length = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[length] = '\0';
    DWORD timeout = argc > 3 ? (DWORD)strtoul(argv[3], NULL, 10) : INFINITE;

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, argv[1], &startup, &process)) {
        fprintf(stderr, "CreateProcess failed: %lu\n", GetLastError());
        return 255;
    }
    printf("pid=%lu\n", process.dwProcessId);
    fflush(stdout);
    DWORD code = 259;
    if (WaitForSingleObject(process.hProcess, timeout) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
