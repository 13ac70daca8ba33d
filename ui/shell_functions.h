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
void AcceptDroppedFiles(HWND window);
UINT QueryDroppedFile(HDROP drop, UINT index, char *path, UINT size);
void FinishDrop(HDROP drop);
void OpenWithShell(HWND window, const char *file);
// Releases the DLLs loaded so far; the window road calls it after its loop.
void FreeShellFunctions(void);

#endif
