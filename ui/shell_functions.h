// The common-dialog and shell functions that only the configuration window
// uses, looked up at their first use: the service host then maps neither
// DLL, nor the many that they bring in.
#ifndef TAVI_UI_SHELL_FUNCTIONS_H
#define TAVI_UI_SHELL_FUNCTIONS_H

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

// Each acts like the function it stands for; when its DLL or the function
// cannot be found it does nothing and returns FALSE or 0.
BOOL ShowOpenFileDialog(OPENFILENAMEA *record);
BOOL ShowSaveFileDialog(OPENFILENAMEA *record);
void AcceptDroppedFiles(HWND window);
UINT QueryDroppedFile(HDROP drop, UINT index, char *path, UINT size);
void FinishDrop(HDROP drop);
void OpenWithShell(HWND window, const char *file);
// The file dialog owned by owner, titled and filtered by the catalogue's
// entries (the filter's name and pattern); an open dialog for an existing
// file, or with save a save dialog whose file gets extension when typed
// without one. 1 with the path chosen in path (TEXT_SIZE bytes).
int ChooseFile(HWND owner, UINT title, UINT filterName, UINT filterPattern, int save,
               const char *extension, char *path);
// Releases the DLLs loaded so far; the window road calls it after its loop.
void FreeShellFunctions(void);

#endif
