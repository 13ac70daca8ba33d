// See service_path.h.
#include "scm/service_path.h"
#include "settings/text.h"

int FormServiceBinaryPath(char *out, size_t size, const char *modulePath)
{
    int blank = 0;
    for (const char *p = modulePath; *p != '\0'; p++)
        if (*p == ' ')
            blank = 1;
    int ok = blank ? CopyText(out, size, "\"") && AppendText(out, size, modulePath) &&
                         AppendText(out, size, "\"")
                   : CopyText(out, size, modulePath);
    if (!ok) {
        if (size > 0)
            out[0] = '\0';
        return 0;
    }
    return 1;
}
