// See log_pipe.h.
#include "service/log_pipe.h"
#include "service/log_file.h"

#include <atomic>

// The pipe's own buffer holds what a fast program writes while the copy
// thread rotates the log (a few milliseconds), so that the program does not
// wait for it; the copy thread's takes in one read what it wrote meanwhile.
enum { PIPE_BUFFER = 1048576, COPY_BUFFER = 65536, COPY_STACK = 262144 };
// The drain of a pipe that stays open: looked into this often, given up
// after this long.
static const DWORD kQuietMs = 50;
static const DWORD kDrainMs = 2000;
static const DWORD kFinishMs = 5000;

static HANDLE sInputRead, sInputWrite;
// Copy threads still reading (the last launch's, and those of pipes that a
// process the program started keeps open), and the bytes they have read.
static std::atomic<int> sReaders;
static std::atomic<unsigned long> sBytesRead;

static DWORD WINAPI CopyOutput(void *read)
{
    char buffer[COPY_BUFFER];
    DWORD size;
    // A write of no bytes reads as 0 bytes; the end of the pipe as a failure.
    while (ReadFile((HANDLE)read, buffer, sizeof buffer, &size, NULL)) {
        sBytesRead += size;
        if (size > 0)
            WriteLogOutput(buffer, size);
    }
    CloseHandle((HANDLE)read);
    sReaders--;
    return 0;
}

static int MakeInheritable(HANDLE handle)
{
    return SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

int OpenLogPipe(LogPipe *pipe)
{
    ZeroMemory(pipe, sizeof *pipe);
    if (sInputRead == NULL && CreatePipe(&sInputRead, &sInputWrite, NULL, 0) &&
        !MakeInheritable(sInputRead)) {
        CloseHandle(sInputRead);
        CloseHandle(sInputWrite);
        sInputRead = sInputWrite = NULL;
    }
    if (sInputRead == NULL || !CreatePipe(&pipe->read, &pipe->child[1], NULL, PIPE_BUFFER))
        return 0;
    if (!MakeInheritable(pipe->child[1])) {
        StartLogCopy(pipe, 0);
        return 0;
    }
    pipe->child[0] = sInputRead;
    return 1;
}

void StartLogCopy(LogPipe *pipe, int started)
{
    // Once tavi's copy is closed, the pipe ends with the program and what
    // inherited it.
    CloseHandle(pipe->child[1]);
    pipe->child[1] = NULL;
    if (started && DuplicateHandle(GetCurrentProcess(), pipe->read, GetCurrentProcess(),
                                   &pipe->peek, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        sReaders++;
        pipe->thread = CreateThread(NULL, COPY_STACK, CopyOutput, pipe->read,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
        if (pipe->thread != NULL)
            return;
        sReaders--;
    }
    // Unread, the pipe would fill and hold the program: closed, it fails
    // the program's writes instead.
    CloseHandle(pipe->read);
    if (pipe->peek != NULL)
        CloseHandle(pipe->peek);
    pipe->read = pipe->peek = NULL;
}

void DrainLogPipe(LogPipe *pipe)
{
    if (pipe->thread == NULL)
        return;
    // The program has ended: what it wrote is in the pipe or read already.
    // Empty at two looks in a row, with nothing read in between, the pipe
    // holds nothing of it, and its copy thread is waiting.
    DWORD start = GetTickCount();
    unsigned long seen = sBytesRead;
    int emptyBefore = 0;
    while (WaitForSingleObject(pipe->thread, kQuietMs) == WAIT_TIMEOUT &&
           GetTickCount() - start < kDrainMs) {
        DWORD waiting = 0;
        int empty = PeekNamedPipe(pipe->peek, NULL, 0, NULL, &waiting, NULL) && waiting == 0 &&
                    sBytesRead == seen;
        if (empty && emptyBefore)
            break;
        emptyBefore = empty;
        seen = sBytesRead;
    }
    CloseHandle(pipe->thread);
    CloseHandle(pipe->peek);
    pipe->thread = pipe->peek = NULL;
}

void FinishLogPipes(void)
{
    DWORD start = GetTickCount();
    while (sReaders > 0 && GetTickCount() - start < kFinishMs)
        Sleep(10);
    if (sInputRead != NULL) {
        CloseHandle(sInputRead);
        CloseHandle(sInputWrite);
    }
    sInputRead = sInputWrite = NULL;
}
