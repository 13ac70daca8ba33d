// Starts the wrapped program in its own directory with the host's own
// start-up information and the environment formed for it, in the caller's job when it has one.
#include "service/child_process.h"
#include "service/child_command.h"
#include "service/child_environment.h"
#include "service/inherit_only.h"
#include "settings/service_settings.h"

BOOL LaunchChild(const char *exe, const char *option, int method, HANDLE job, HANDLE *stdio,
                 PROCESS_INFORMATION *child)
{
    ZeroMemory(child, sizeof *child);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);

    char commandLine[TEXT_SIZE];
    char directory[TEXT_SIZE];
    DWORD flags = CREATE_DEFAULT_ERROR_MODE;
    // The console comes before the check of the line, so that the caller's
    // FreeConsole always has a console to release.
    if (method == STOP_CTRLBREAK) {
        // A console child shares this console and leads a new process group
        // whose id is its process id, the target of the Ctrl+Break.
        AllocConsole();
        flags |= CREATE_NEW_PROCESS_GROUP;
    }
    if (!FormChildCommandLine(commandLine, sizeof commandLine, exe, option)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    FormChildWorkingDirectory(directory, sizeof directory, exe);
    if (job != NULL)
        flags |= CREATE_SUSPENDED;
    const char *folder = directory[0] != '\0' ? directory : NULL;
    void *environment = (void *)ChildEnvironment();
    if (stdio != NULL) {
        // Only the standard handles go to a console child's own console (or
        // the host's, with Ctrl+Break): the window, the group stay as they are.
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = stdio[0];
        startup.hStdOutput = stdio[1];
        startup.hStdError = stdio[1];
    }
    if (!(stdio != NULL ? CreateProcessInheriting(commandLine, flags, (const char *)environment,
                                                  folder, &startup, stdio, 2, child)
                        : CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, flags, environment,
                                         folder, &startup, child)))
        return FALSE;
    if (job != NULL) {
        // Only where the host could not join the job itself: the child is
        // outside it until assigned. A host that is itself in a job cannot
        // nest one before Windows 8: the child then runs outside it, and
        // only it is ended at the bound.
        AssignProcessToJobObject(job, child->hProcess);
        ResumeThread(child->hThread);
    }
    return TRUE;
}
