// See log_names.h.
#include "settings/log_names.h"
#include "settings/text.h"

#include <string.h>

int ParseLogNumber(const char *text, int max)
{
    long long value = 0;
    if (text[0] == '\0')
        return -1;
    for (const char *p = text; *p != '\0'; p++) {
        if (*p < '0' || *p > '9')
            return -1;
        value = value * 10 + (*p - '0');
        if (value > max)
            return -1;
    }
    return (int)value;
}

// A path that starts at a root, a drive or a server is taken as it is.
static int IsRelative(const char *path)
{
    return path[0] != '\\' && path[0] != '/' && !(path[0] != '\0' && path[1] == ':');
}

static int Fail(char *out, size_t size)
{
    if (size > 0)
        out[0] = '\0';
    return 0;
}

int FormLogPath(char *out, size_t size, const char *moduleDir, const char *log)
{
    int ok = IsRelative(log) ? CopyText(out, size, moduleDir) && AppendText(out, size, "\\") &&
                                   AppendText(out, size, log)
                             : CopyText(out, size, log);
    return ok ? 1 : Fail(out, size);
}

int FormRotatedLogName(char *out, size_t size, const char *path, int number)
{
    // A dot never is a second byte in Shift_JIS.
    const char *name = AfterLastSeparator(path, "\\/");
    // A dot that begins the name starts no extension.
    const char *dot = name[0] != '\0' ? strrchr(name + 1, '.') : NULL;
    size_t stem = dot != NULL ? (size_t)(dot - path) : strlen(path);
    char digits[12];
    int count = 0;
    do {
        digits[count++] = (char)('0' + number % 10);
        number /= 10;
    } while (number > 0 && count < 11);
    // Room for the stem, ".", the digits, the extension and the terminator.
    if (stem + 1 + (size_t)count + strlen(path + stem) + 1 > size)
        return Fail(out, size);
    memcpy(out, path, stem);
    size_t o = stem;
    out[o++] = '.';
    while (count > 0)
        out[o++] = digits[--count];
    CopyText(out + o, size - o, path + stem);
    return 1;
}

int LogNamesFit(const char *moduleDir, const char *log, int keep)
{
    char path[TEXT_SIZE], rotated[TEXT_SIZE];
    return log[0] == '\0' ||
           (FormLogPath(path, sizeof path, moduleDir, log) &&
            FormRotatedLogName(rotated, sizeof rotated, path, keep > 1 ? keep : 1));
}

size_t LogBytesThatFit(const char *data, size_t n, size_t room)
{
    if (n <= room)
        return n;
    for (size_t i = room; i > 0; i--)
        if (data[i - 1] == '\n')
            return i;
    return 0;
}
