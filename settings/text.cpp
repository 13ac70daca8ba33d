// Shift_JIS-aware text and path helpers over fixed byte buffers.
// Nothing here allocates; every output is bounded by its caller's size.
#include "settings/text.h"

#include <string.h>

int IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int CopyText(char *out, size_t size, const char *in)
{
    size_t i = 0;
    if (size == 0)
        return 0;
    while (in[i] != '\0' && i + 1 < size) {
        out[i] = in[i];
        i++;
    }
    out[i] = '\0';
    return in[i] == '\0';
}

int AppendText(char *out, size_t size, const char *in)
{
    size_t used = 0, add = 0;
    while (used < size && out[used] != '\0')
        used++;
    while (in[add] != '\0')
        add++;
    if (used >= size || used + add + 1 > size)
        return 0;
    for (size_t i = 0; i <= add; i++)
        out[used + i] = in[i];
    return 1;
}

int AppendDecimal(char *out, size_t size, unsigned long value)
{
    char digits[24];
    size_t n = sizeof digits - 1;
    digits[n] = '\0';
    do {
        digits[--n] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return AppendText(out, size, digits + n);
}

void ZeroText(char *text, size_t size)
{
    volatile char *p = text;
    while (size-- > 0)
        *p++ = '\0';
}

static unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c - 'A' + 'a') : c;
}

int TextEqualNI(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        unsigned char x = FoldAscii((unsigned char)a[i]);
        unsigned char y = FoldAscii((unsigned char)b[i]);
        if (x != y)
            return 0;
        if (x == '\0')
            return 1;
    }
    return 1;
}

int TextEqualI(const char *a, const char *b)
{
    return TextEqualNI(a, b, (size_t)-1);
}

int EndsInLeadByte(const char *text)
{
    int second = 0;
    for (const char *p = text; *p != '\0'; p++)
        second = second ? 0 : IsLeadByte((unsigned char)*p);
    return second;
}

const char *AfterLastSeparator(const char *path, const char *separators)
{
    const char *after = path;
    int second = 0;
    for (const char *p = path; *p != '\0'; p++) {
        if (second)
            second = 0;
        else if (IsLeadByte((unsigned char)*p))
            second = 1;
        else if (strchr(separators, *p) != NULL)
            after = p + 1;
    }
    return after;
}

void CutAtLastBackslash(char *text)
{
    char *after = (char *)AfterLastSeparator(text, "\\");
    if (after != text)
        after[-1] = '\0';
}

void BaseNameWithoutExtension(char *out, size_t size, const char *path)
{
    const char *start = AfterLastSeparator(path, "\\:");
    // Up to the first dot of the name; a dot never is a second byte in
    // Shift_JIS, so a plain byte search is safe here.
    size_t n = 0;
    while (start[n] != '\0' && start[n] != '.')
        n++;
    if (size == 0)
        return;
    size_t i = 0;
    for (; i < n && i + 1 < size; i++)
        out[i] = start[i];
    out[i] = '\0';
}

const char *FindExtension(const char *path)
{
    size_t n = 0;
    while (path[n] != '\0')
        n++;
    // Position 0 is never examined, so ".exe" is its own extension.
    for (size_t i = n; i-- > 1;) {
        char c = path[i];
        if (c == '.')
            return path + i + 1;
        if (c == '\\' || c == '/' || c == ':')
            return path + n;
    }
    return path;
}

int HasProgramExtension(const char *path)
{
    const char *ext = FindExtension(path);
    return path[0] != '\0' && (TextEqualI(ext, "exe") || TextEqualI(ext, "bat"));
}

int EscapeValue(char *out, size_t size, const char *in)
{
    size_t o = 0;
    int second = 0;
    if (size == 0)
        return 0;
    for (const char *p = in; *p != '\0'; p++) {
        int escape = 0;
        if (second)
            second = 0;
        else if (IsLeadByte((unsigned char)*p))
            second = 1;
        else if (*p == '\\' || *p == '"')
            escape = 1;
        if (o + (size_t)escape + 1 >= size) {
            out[0] = '\0';
            return 0;
        }
        if (escape)
            out[o++] = '\\';
        out[o++] = *p;
    }
    out[o] = '\0';
    return 1;
}

int UnescapeValue(char *out, size_t size, const char *in)
{
    size_t o = 0;
    int second = 0;
    if (size == 0)
        return 0;
    for (const char *p = in; *p != '\0'; p++) {
        if (second)
            second = 0;
        else if (IsLeadByte((unsigned char)*p))
            second = 1;
        else if (*p == '\\' && (p[1] == '\\' || p[1] == '"'))
            p++; // the escaped byte is copied without being interpreted
        if (o + 1 >= size) {
            out[0] = '\0';
            return 0;
        }
        out[o++] = *p;
    }
    out[o] = '\0';
    return 1;
}
