// Message boxes with texts from the string table.
#ifndef TAVI_LAUNCHER_MESSAGES_H
#define TAVI_LAUNCHER_MESSAGES_H

#include <windows.h>

extern const char kCaption[];      // "tavi": information and questions
extern const char kErrorCaption[]; // "tavi error"

// style is MB_OK or MB_YESNO and nothing else: no icon is ever added. An
// entry with a second "%s" takes second for it.
int ShowMessage(HWND owner, UINT id, const char *argument, const char *caption, UINT style,
                const char *second = NULL);
// The entry that says why an account request is refused (account.h).
UINT AccountRefusalMessage(int refusal);

#endif
