// The configuration window (dialog 101) and its dialog procedure.
#ifndef TAVI_UI_CONFIG_DIALOG_H
#define TAVI_UI_CONFIG_DIALOG_H

#include <windows.h>

// Always returns FALSE, so the platform's default dialog handling follows.
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
