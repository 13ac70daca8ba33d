// The further settings (詳細設定): the log, the relaunch, the stop, the
// account and the environment, which the main window does not show.
#ifndef TAVI_UI_FURTHER_DIALOG_H
#define TAVI_UI_FURTHER_DIALOG_H

#include <windows.h>

// What the dialog needs of the main window as it stands: the service's
// name (its virtual account's) and whether the desktop is asked for.
struct FurtherContext {
    char name[260];
    int desktop;
};

// Modal, owned by owner. Its OK takes what it shows into gSettings and
// gCredentials (the password), to be saved by the main window's OK; its
// Cancel changes nothing. A registered service's settings are only shown.
void ShowFurtherSettings(HWND owner, const FurtherContext *context);

#endif
