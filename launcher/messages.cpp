// Shows a catalogue entry, with the service name in place of its "%s".
#include "launcher/messages.h"
#include "launcher/startup.h"

const char kCaption[] = "tavi";
const char kErrorCaption[] = "tavi error";

int ShowMessage(HWND owner, UINT id, const char *argument, const char *caption, UINT style)
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
        // 259-byte name stays far below the 520 bytes of text.
        wsprintfA(text, format, argument);
    }
    return MessageBoxA(owner, text, caption, style);
}
