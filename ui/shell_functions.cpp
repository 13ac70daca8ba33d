// See shell_functions.h. The DLLs stay loaded from their first use until
// FreeShellFunctions.
#include "ui/shell_functions.h"
#include "launcher/startup.h"

typedef BOOL(WINAPI *GetFileNameFn)(OPENFILENAMEA *record);
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
    GetFileNameFn show =
        (GetFileNameFn)(void *)Find(&sCommonDialogs, "comdlg32.dll", "GetOpenFileNameA");
    return show != NULL && show(record);
}

BOOL ShowSaveFileDialog(OPENFILENAMEA *record)
{
    GetFileNameFn show =
        (GetFileNameFn)(void *)Find(&sCommonDialogs, "comdlg32.dll", "GetSaveFileNameA");
    return show != NULL && show(record);
}

int ChooseFile(HWND owner, UINT title, UINT filterName, UINT filterPattern, int save,
               const char *extension, char *path)
{
    char titleText[TEXT_SIZE];
    char filter[TEXT_SIZE];
    path[0] = '\0';
    titleText[0] = '\0';
    filter[0] = '\0';
    LoadStringA(gInstance, title, titleText, sizeof titleText);
    // "name\0pattern\0\0": the pattern gets the room the name leaves, less
    // two bytes, so that the closing NUL always fits.
    int nameLength = LoadStringA(gInstance, filterName, filter, sizeof filter);
    char *pattern = filter + nameLength + 1;
    int patternLength = LoadStringA(gInstance, filterPattern, pattern, 258 - nameLength);
    pattern[patternLength + 1] = '\0';

    OPENFILENAMEA record;
    ZeroMemory(&record, sizeof record);
    // The size before the Windows 2000 extension, which every version takes.
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    record.hwndOwner = owner;
    record.lpstrFilter = filter;
    record.lpstrFile = path;
    record.nMaxFile = TEXT_SIZE;
    record.lpstrTitle = titleText;
    record.lpstrDefExt = extension;
    record.Flags = OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    record.Flags |= save ? OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST;
    return save ? ShowSaveFileDialog(&record) : ShowOpenFileDialog(&record);
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
