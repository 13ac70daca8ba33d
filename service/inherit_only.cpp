// See inherit_only.h. The attribute functions are looked up at run time, so
// that tavi.exe still loads where they do not exist.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "service/inherit_only.h"

typedef BOOL(WINAPI *InitializeListFn)(LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD count, DWORD flags,
                                       SIZE_T *size);
typedef BOOL(WINAPI *UpdateListFn)(LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD flags,
                                   DWORD_PTR attribute, void *value, SIZE_T size, void *previous,
                                   SIZE_T *returned);
typedef void(WINAPI *DeleteListFn)(LPPROC_THREAD_ATTRIBUTE_LIST list);

BOOL CreateProcessInheriting(char *commandLine, DWORD flags, const char *environment,
                             const char *directory, STARTUPINFOA *startup, HANDLE *handles,
                             int count, PROCESS_INFORMATION *child)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    InitializeListFn initialize =
        (InitializeListFn)(void *)GetProcAddress(kernel, "InitializeProcThreadAttributeList");
    UpdateListFn update = (UpdateListFn)(void *)GetProcAddress(kernel, "UpdateProcThreadAttribute");
    DeleteListFn remove =
        (DeleteListFn)(void *)GetProcAddress(kernel, "DeleteProcThreadAttributeList");
    // Room for a list of one attribute, which takes a few dozen bytes.
    ULONG_PTR room[16];
    LPPROC_THREAD_ATTRIBUTE_LIST list = (LPPROC_THREAD_ATTRIBUTE_LIST)room;
    SIZE_T size = sizeof room;
    void *block = (void *)environment;
    if (initialize == NULL || update == NULL || remove == NULL || !initialize(list, 1, 0, &size))
        return CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, flags, block, directory, startup,
                              child);
    BOOL started = FALSE;
    if (update(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE), NULL,
               NULL)) {
        STARTUPINFOEXA extended;
        extended.StartupInfo = *startup;
        extended.StartupInfo.cb = sizeof extended;
        extended.lpAttributeList = list;
        started = CreateProcessA(NULL, commandLine, NULL, NULL, TRUE,
                                 flags | EXTENDED_STARTUPINFO_PRESENT, block, directory,
                                 &extended.StartupInfo, child);
    }
    remove(list);
    return started;
}
