// See shell_functions.h. The DLLs stay loaded from their first use until
// FreeShellFunctions.
#include "ui/shell_functions.h"

typedef BOOL(WINAPI *GetOpenFileNameFn)(OPENFILENAMEA *record);
typedef void(WINAPI *DragAcceptFilesFn)(HWND window, BOOL accept);
typedef UINT(WINAPI *DragQueryFileFn)(HDROP drop, UINT index, char *path, UINT size);
typedef void(WINAPI *DragFinishFn)(HDROP drop);
typedef HINSTANCE(WINAPI *ShellExecuteFn)(HWND window, const char *verb, const char *file,
                                          const char *parameters, const char *directory, INT show);

static HMODULE sCommonDialogs;
static HMODULE sShell;

// The function of that name in the DLL, which is loaded at the first call.
static FARPROC Find(HMODULE *module, const char *dll, const char *name)
{
    if (*module == NULL)
        *module = LoadLibraryA(dll);
    return *module != NULL ? GetProcAddress(*module, name) : NULL;
}

BOOL ShowOpenFileDialog(OPENFILENAMEA *record)
{
    GetOpenFileNameFn show =
        (GetOpenFileNameFn)(void *)Find(&sCommonDialogs, "comdlg32.dll", "GetOpenFileNameA");
    return show != NULL && show(record);
}

void AcceptDroppedFiles(HWND window)
{
    DragAcceptFilesFn accept =
        (DragAcceptFilesFn)(void *)Find(&sShell, "shell32.dll", "DragAcceptFiles");
    if (accept != NULL)
        accept(window, TRUE);
}

UINT QueryDroppedFile(HDROP drop, UINT index, char *path, UINT size)
{
    DragQueryFileFn query = (DragQueryFileFn)(void *)Find(&sShell, "shell32.dll", "DragQueryFileA");
    return query != NULL ? query(drop, index, path, size) : 0;
}

void FinishDrop(HDROP drop)
{
    DragFinishFn finish = (DragFinishFn)(void *)Find(&sShell, "shell32.dll", "DragFinish");
    if (finish != NULL)
        finish(drop);
}

void OpenWithShell(HWND window, const char *file)
{
    ShellExecuteFn execute = (ShellExecuteFn)(void *)Find(&sShell, "shell32.dll", "ShellExecuteA");
    if (execute != NULL)
        execute(window, "open", file, NULL, NULL, SW_SHOW);
}

void FreeShellFunctions(void)
{
    if (sCommonDialogs != NULL)
        FreeLibrary(sCommonDialogs);
    if (sShell != NULL)
        FreeLibrary(sShell);
    sCommonDialogs = NULL;
    sShell = NULL;
}
