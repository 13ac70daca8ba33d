// Shows a catalogue entry, with the service name in place of its "%s".
#include "launcher/messages.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "settings/account.h"

const char kCaption[] = "tavi";
const char kErrorCaption[] = "tavi error";

UINT AccountRefusalMessage(int refusal)
{
    switch (refusal) {
    case ACCOUNT_NEEDS_PASSWORD: return IDS_ACCOUNT_NEEDS_PASSWORD;
    case ACCOUNT_TAKES_NO_PASSWORD: return IDS_ACCOUNT_NO_PASSWORD;
    case ACCOUNT_NO_DESKTOP: return IDS_ACCOUNT_NO_DESKTOP;
    default: return IDS_ACCOUNT_INVALID;
    }
}

int ShowMessage(HWND owner, UINT id, const char *argument, const char *caption, UINT style,
                const char *second)
{
    char text[520];
    text[0] = '\0';
    if (argument == NULL) {
        LoadStringA(gInstance, id, text, sizeof text);
    } else {
        char format[520];
        format[0] = '\0';
        LoadStringA(gInstance, id, format, sizeof format);
        // wsprintfA writes at most 1024 bytes; the longest entry with a
        // 259-byte name (or a field's label and its range) stays far below
        // the 520 bytes of text.
        wsprintfA(text, format, argument, second);
    }
    return MessageBoxA(owner, text, caption, style);
}
