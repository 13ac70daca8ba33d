// Reads the command-line tail once at start-up. Options may begin with "/"
// or "-" and are recognised by their whole name at the start of the text
// that follows, in any letter case; unknown options are passed over.
#include "launcher/command_line.h"
#include "settings/settings_file.h"
#include "settings/text.h"

#include <string.h>

CommandFlags gFlags;

enum OptionKind { KIND_FLAG, KIND_VALUE, KIND_METHOD, KIND_NUMBER, KIND_ENV };

enum OptionTarget {
    T_INSTALL,
    T_UNINSTALL,
    T_INI,
    T_NAME,
    T_EXE,
    T_OPTION,
    T_DESCRIPTION,
    T_DESKTOP,
    T_AUTO,
    T_START,
    T_NO_ERROR,
    T_OK,
    T_QUESTION,
    T_RETRY,
    T_END,
    T_LOG
};

// A number's row names no option: its name is its key's, and its target is
// its place in kNumberKeys.
struct OptionEntry {
    const char *name;
    OptionKind kind;
    int target;
};

// Searched in this order at every option; the order decides glued options
// such as /startok (both) against /okstart (only ok). A longer name comes
// before the name it starts with: /retrymax before /retry, /logsize before
// /log.
static const OptionEntry kOptions[] = {
    {"install", KIND_FLAG, T_INSTALL},
    {"uninstall", KIND_FLAG, T_UNINSTALL},
    {"ini", KIND_FLAG, T_INI},
    {"name", KIND_VALUE, T_NAME},
    {"exe", KIND_VALUE, T_EXE},
    {"option", KIND_VALUE, T_OPTION},
    {"description", KIND_VALUE, T_DESCRIPTION},
    {"desktop", KIND_FLAG, T_DESKTOP},
    {"auto", KIND_FLAG, T_AUTO},
    {"start", KIND_FLAG, T_START},
    {"no_error", KIND_FLAG, T_NO_ERROR},
    {"ok", KIND_FLAG, T_OK},
    {"question", KIND_FLAG, T_QUESTION},
    {NULL, KIND_NUMBER, 2}, // retrymax
    {"retry", KIND_FLAG, T_RETRY},
    {"end", KIND_METHOD, T_END},
    {NULL, KIND_NUMBER, 3}, // stoptime
    {NULL, KIND_NUMBER, 0}, // logsize
    {NULL, KIND_NUMBER, 1}, // logkeep
    {"log", KIND_VALUE, T_LOG},
    {"env", KIND_ENV, 0},
};

const char *SkipToWhitespace(const char *position)
{
    while (*position != '\0' && *position != ' ' && *position != '\t')
        position++;
    return position;
}

const char *ReadOptionValue(char *destination, const char *source, size_t size)
{
    const char *p = source;
    size_t copied = 0;
    int quoted = 0;
    if (*p == '=')
        p++;
    if (*p == '"') {
        quoted = 1;
        p++;
    }
    while (copied + 1 < size && *p != '\0') {
        if (quoted) {
            if (p[0] == '\\' && p[1] == '"') {
                destination[copied++] = '"';
                p += 2;
                continue;
            }
            if (*p == '"') {
                destination[copied] = '\0';
                return SkipToWhitespace(p + 1);
            }
        } else if (*p == ' ' || *p == '\t') {
            break;
        }
        destination[copied++] = *p++;
    }
    if (size > 0)
        destination[copied] = '\0';
    return p;
}

int StopMethodFromValue(const char *value, int current)
{
    for (int i = STOP_CLOSE; i <= STOP_CTRLBREAK; i++)
        if (TextEqualI(value, StopMethodName(i)))
            return i;
    if (value[0] >= '0' && value[0] <= '3')
        return value[0] - '0';
    return current;
}

static int *FlagTarget(int target, CommandFlags *flags, CollectedValues *values)
{
    switch (target) {
    case T_INSTALL: return &flags->install;
    case T_UNINSTALL: return &flags->uninstall;
    case T_INI: return &flags->ini;
    case T_DESKTOP: return &values->desktop;
    case T_AUTO: return &values->auto_;
    case T_START: return &flags->start;
    case T_NO_ERROR: return &flags->no_error;
    case T_OK: return &flags->ok;
    case T_QUESTION: return &flags->question;
    case T_RETRY: return &values->retry;
    default: return 0;
    }
}

static char *ValueTarget(int target, CollectedValues *values)
{
    switch (target) {
    case T_NAME: return values->name;
    case T_EXE: return values->exe;
    case T_OPTION: return values->option;
    case T_DESCRIPTION: return values->description;
    case T_LOG: return values->log;
    default: return 0;
    }
}

void ScanCommandLine(const char *tail, CommandFlags *flags, CollectedValues *values)
{
    memset(flags, 0, sizeof *flags);
    memset(values, 0, sizeof *values);
    values->end = STOP_SYSANDCLOSE;
    values->envWhole = 1;

    const char *p = tail;
    while (*p != '\0') {
        if (*p != '/' && *p != '-') {
            p++;
            continue;
        }
        p++;
        for (const OptionEntry &entry : kOptions) {
            const char *name = entry.name ? entry.name : kNumberKeys[entry.target].key;
            size_t len = strlen(name);
            if (!TextEqualNI(p, name, len))
                continue;
            p += len;
            if (entry.kind == KIND_FLAG) {
                *FlagTarget(entry.target, flags, values) = 1;
            } else if (entry.kind == KIND_METHOD) {
                // The value's bytes are left for the scan to pass over.
                char scratch[TEXT_SIZE];
                ReadOptionValue(scratch, p, sizeof scratch);
                values->end = StopMethodFromValue(scratch, values->end);
            } else if (entry.kind == KIND_ENV) {
                // A line that fills the buffer has no room in the section.
                char line[ENV_SECTION_SIZE];
                p = ReadOptionValue(line, p, sizeof line);
                if (!AppendEnvLine(values->env, sizeof values->env, line))
                    values->envWhole = 0;
            } else if (entry.kind == KIND_NUMBER) {
                p = ReadOptionValue(values->numbers[entry.target], p, TEXT_SIZE);
                values->given |= 1u << entry.target;
            } else {
                p = ReadOptionValue(ValueTarget(entry.target, values), p, TEXT_SIZE);
            }
        }
    }
}

void ParseCommandLine(const char *tail)
{
    CollectedValues values;
    ScanCommandLine(tail, &gFlags, &values);
    if ((!gFlags.install && !gFlags.uninstall) || gFlags.ini) {
        LoadSettings();
        return;
    }
    CopyText(gSettings.name, TEXT_SIZE, values.name);
    CopyText(gSettings.exe, TEXT_SIZE, values.exe);
    CopyText(gSettings.option, TEXT_SIZE, values.option);
    CopyText(gSettings.description, TEXT_SIZE, values.description);
    gSettings.desktop = values.desktop;
    gSettings.retry = values.retry;
    gSettings.auto_ = values.auto_;
    gSettings.end = values.end;
    CopyText(gSettings.log, TEXT_SIZE, values.log);
    memcpy(gSettings.env, values.env, sizeof values.env);
    gSettings.envWhole = values.envWhole;
    // A number not given takes its default; one given that is no number in
    // range, an empty one too, stays -1, so that the install refuses it
    // rather than guess.
    for (int i = 0; i < NUMBER_KEY_COUNT; i++)
        gSettings.*kNumberKeys[i].field = values.given & 1u << i
                                              ? ParseNumberKey(kNumberKeys[i], values.numbers[i])
                                              : kNumberKeys[i].fallback;
}
