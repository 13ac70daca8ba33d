// The [env] section and the program's environment block; see environment.h.
#include "settings/environment.h"
#include "settings/text.h"

#include <string.h>

size_t EnvListLength(const char *list)
{
    const char *p = list;
    while (*p != '\0')
        p += strlen(p) + 1;
    return (size_t)(p - list) + 1;
}

int AppendEnvLine(char *list, size_t size, const char *line)
{
    size_t used = EnvListLength(list) - 1, length = strlen(line);
    if (length == 0 || used + length + 2 > size)
        return 0;
    memcpy(list + used, line, length + 1);
    list[used + length + 1] = '\0';
    return 1;
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A text of length bytes neither begins nor ends in a blank.
static int Trimmed(const char *text, size_t length)
{
    return length == 0 || (!IsBlank(text[0]) && !IsBlank(text[length - 1]));
}

int EnvLineCanBeStored(const char *line)
{
    const char *equals = strchr(line, '=');
    if (equals == NULL || equals == line || line[0] == ';' || line[0] == '[')
        return 0;
    if (strpbrk(line, "\r\n") != NULL || EndsInLeadByte(line))
        return 0;
    return Trimmed(line, (size_t)(equals - line)) && Trimmed(equals + 1, strlen(equals + 1));
}

// Appends length bytes of text at *to without the blanks at either end.
static void PutTrimmed(char **to, const char *text, size_t length)
{
    while (length > 0 && IsBlank(*text))
        text++, length--;
    while (length > 0 && IsBlank(text[length - 1]))
        length--;
    memmove(*to, text, length);
    *to += length;
}

void TrimEnvLines(char *list)
{
    // Each line only shrinks, so the writing never overtakes the reading.
    char *to = list;
    for (const char *line = list; *line != '\0';) {
        size_t length = strlen(line);
        const char *equals = strchr(line, '=');
        const char *next = line + length + 1;
        if (equals == NULL || line[0] == ';') {
            PutTrimmed(&to, line, length);
        } else {
            PutTrimmed(&to, line, (size_t)(equals - line));
            *to++ = '=';
            PutTrimmed(&to, equals + 1, length - (size_t)(equals - line) - 1);
        }
        *to++ = '\0';
        line = next;
    }
    *to = '\0';
}

// Names compare in any ASCII letter case; the second byte of a double-byte
// character, which may be a letter's code, compares exactly.
static int NameEqual(const char *a, size_t aLength, const char *b, size_t bLength)
{
    if (aLength != bLength)
        return 0;
    for (size_t i = 0; i < aLength; i++) {
        if (IsLeadByte((unsigned char)a[i])) {
            if (a[i] != b[i] || (i + 1 < aLength && a[i + 1] != b[i + 1]))
                return 0;
            i++;
        } else if (!TextEqualNI(a + i, b + i, 1)) {
            return 0;
        }
    }
    return 1;
}

// The length of an entry's name: up to its first "=" after the first byte
// (the platform's own entries such as "=C:=C:\" begin with one).
static size_t NameLength(const char *entry)
{
    const char *equals = entry[0] != '\0' ? strchr(entry + 1, '=') : NULL;
    return equals != NULL ? (size_t)(equals - entry) : strlen(entry);
}

// The value of the variable name in own, or NULL when own lacks it.
static const char *Lookup(const char *own, const char *name, size_t length)
{
    for (const char *e = own; *e != '\0'; e += strlen(e) + 1) {
        size_t entryName = NameLength(e);
        if (e[entryName] == '=' && NameEqual(e, entryName, name, length))
            return e + entryName + 1;
    }
    return NULL;
}

// True when a line of section after skip lines sets the variable name.
static int SetInSection(const char *section, int skip, const char *name, size_t length)
{
    int number = 0;
    for (const char *l = section; *l != '\0'; l += strlen(l) + 1)
        if (number++ >= skip && l[0] != ';' && NameEqual(l, NameLength(l), name, length))
            return 1;
    return 0;
}

// Bounded writing into the block: at puts bytes at *used, 0 when they do
// not fit (room for the block's last NUL is kept).
struct BlockWriter {
    char *block;
    size_t size, used;
};

static int Put(BlockWriter *w, const char *bytes, size_t length)
{
    if (w->used + length + 1 > w->size)
        return 0;
    memcpy(w->block + w->used, bytes, length);
    w->used += length;
    return 1;
}

// Writes value with "%NAME%" replaced from own, as the platform's expansion
// does: a "%" that opens no known name is written, and the scan goes on at
// the next "%".
static int PutExpanded(BlockWriter *w, const char *value, const char *own)
{
    const char *p = value;
    while (*p != '\0') {
        const char *close = *p == '%' ? strchr(p + 1, '%') : NULL;
        const char *found = close != NULL ? Lookup(own, p + 1, (size_t)(close - p - 1)) : NULL;
        if (found != NULL && close > p + 1) {
            if (!Put(w, found, strlen(found)))
                return 0;
            p = close + 1;
            continue;
        }
        const char *next = strchr(p + 1, '%');
        size_t length = next != NULL ? (size_t)(next - p) : strlen(p);
        if (!Put(w, p, length))
            return 0;
        p += length;
    }
    return 1;
}

EnvResult FormEnvironment(char *block, size_t size, const char *own, const char *section, int *line)
{
    BlockWriter w = {block, size, 0};
    *line = 0;
    for (const char *l = section; *l != '\0'; l += strlen(l) + 1) {
        ++*line;
        if (l[0] != ';' && (l[0] == '=' || strchr(l, '=') == NULL))
            return ENV_NOT_A_VARIABLE;
    }
    *line = 0;
    for (const char *e = own; *e != '\0'; e += strlen(e) + 1)
        if (!SetInSection(section, 0, e, NameLength(e)) && !Put(&w, e, strlen(e) + 1))
            return ENV_TOO_LONG;
    int number = 0;
    for (const char *l = section; *l != '\0'; l += strlen(l) + 1) {
        size_t name = NameLength(l);
        number++;
        if (l[0] == ';' || l[name + 1] == '\0' || SetInSection(section, number, l, name))
            continue;
        size_t start = w.used;
        if (!Put(&w, l, name + 1) || !PutExpanded(&w, l + name + 1, own) ||
            w.used - start > ENV_VARIABLE_MAX || !Put(&w, "", 1))
            return ENV_TOO_LONG;
    }
    // An empty block still ends in two NULs.
    if (w.used == 0 && !Put(&w, "", 1))
        return ENV_TOO_LONG;
    block[w.used] = '\0';
    return ENV_FORMED;
}

int EnvListToText(char *out, size_t size, const char *list)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    for (const char *line = list; *line != '\0'; line += strlen(line) + 1)
        if (!AppendText(out, size, line) || !AppendText(out, size, "\r\n")) {
            out[0] = '\0';
            return 0;
        }
    return 1;
}

EnvResult EnvTextToList(char *list, size_t size, const char *text, int *line)
{
    static char one[ENV_SECTION_SIZE];
    list[0] = list[1] = '\0';
    *line = 0;
    for (const char *p = text; *p != '\0';) {
        const char *end = strchr(p, '\n');
        size_t length = end != NULL ? (size_t)(end - p) : strlen(p);
        const char *next = end != NULL ? end + 1 : p + length;
        ++*line;
        if (length > 0 && p[length - 1] == '\r')
            length--;
        if (length >= sizeof one)
            return ENV_TOO_LONG;
        memcpy(one, p, length);
        one[length] = '\0';
        if (length > 0 && !EnvLineCanBeStored(one))
            return ENV_NOT_A_VARIABLE;
        if (length > 0 && !AppendEnvLine(list, size, one))
            return ENV_TOO_LONG;
        p = next;
    }
    *line = 0;
    return ENV_FORMED;
}
