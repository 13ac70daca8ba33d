// Reads the command-line tail once at start-up. Options may begin with "/"
// or "-" and are recognised by their whole name at the start of the text
// that follows, in any letter case; unknown options are passed over.
#include "launcher/command_line.h"
#include "settings/settings_file.h"
#include "settings/text.h"

#include <string.h>

CommandFlags gFlags;

enum OptionKind { KIND_FLAG, KIND_KEY, KIND_ENV, KIND_PASSWORD };

enum OptionTarget { T_INSTALL, T_UNINSTALL, T_INI, T_START, T_NO_ERROR, T_OK, T_QUESTION };

// A key's option has its key's name and kind; its target is the key's
// place in kKeys.
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
    {NULL, KIND_KEY, K_NAME},
    {NULL, KIND_KEY, K_EXE},
    {NULL, KIND_KEY, K_OPTION},
    {NULL, KIND_KEY, K_DESCRIPTION},
    {NULL, KIND_KEY, K_DESKTOP},
    {NULL, KIND_KEY, K_AUTO},
    {"start", KIND_FLAG, T_START},
    {"no_error", KIND_FLAG, T_NO_ERROR},
    {"ok", KIND_FLAG, T_OK},
    {"question", KIND_FLAG, T_QUESTION},
    {NULL, KIND_KEY, K_RETRYMAX},
    {NULL, KIND_KEY, K_RETRY},
    {NULL, KIND_KEY, K_END},
    {NULL, KIND_KEY, K_STOPTIME},
    {NULL, KIND_KEY, K_LOGSIZE},
    {NULL, KIND_KEY, K_LOGKEEP},
    {NULL, KIND_KEY, K_LOG},
    {"env", KIND_ENV, 0},
    {NULL, KIND_KEY, K_ACCOUNT},
    {NULL, KIND_KEY, K_NORETRY},
    {"password", KIND_PASSWORD, 0},
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
    int quoted = 0, second = 0;
    if (*p == '=')
        p++;
    if (*p == '"') {
        quoted = 1;
        p++;
    }
    while (copied + 1 < size && *p != '\0') {
        if (quoted) {
            // A double-byte character's second byte may be 0x5C: it never
            // escapes the closing quote, which would swallow the options after.
            int escape = !second && p[0] == '\\' && p[1] == '"';
            second = second ? 0 : IsLeadByte((unsigned char)*p);
            if (escape) {
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

// Reads a value as ReadOptionValue does; sets *cut when the value went on
// past the size-1 bytes that fit.
static const char *ReadWholeValue(char *destination, const char *source, size_t size, int *cut)
{
    const char *p = ReadOptionValue(destination, source, size);
    if (strlen(destination) + 1 == size && *p != '\0' && *p != ' ' && *p != '\t' && *p != '"')
        *cut = 1;
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

static int *FlagTarget(int target, CommandFlags *flags)
{
    switch (target) {
    case T_INSTALL: return &flags->install;
    case T_UNINSTALL: return &flags->uninstall;
    case T_INI: return &flags->ini;
    case T_START: return &flags->start;
    case T_NO_ERROR: return &flags->no_error;
    case T_OK: return &flags->ok;
    default: return &flags->question;
    }
}

// Reads the value of key i at p; returns where the scan goes on.
static const char *ScanKey(int i, const char *p, CollectedValues *values)
{
    const SettingKey &key = kKeys[i];
    ServiceSettings *settings = &values->settings;
    char scratch[TEXT_SIZE];
    switch (key.kind) {
    case KEY_TEXT: {
        int cut = 0;
        values->given |= 1u << i;
        p = ReadWholeValue(settings->*key.text, p, TEXT_SIZE, &cut);
        values->cut |= (unsigned)cut << i;
        return p;
    }
    case KEY_OPTION: return ReadOptionValue(settings->*key.text, p, TEXT_SIZE);
    case KEY_FLAG: settings->*key.number = 1; return p;
    case KEY_METHOD:
        // The value's bytes are left for the scan to pass over.
        ReadOptionValue(scratch, p, sizeof scratch);
        settings->*key.number = StopMethodFromValue(scratch, settings->*key.number);
        return p;
    case KEY_CODES:
        values->given |= 1u << i;
        return ReadOptionValue(settings->*key.text, p, TEXT_SIZE);
    case KEY_NUMBER:
        values->given |= 1u << i;
        return ReadOptionValue(values->numbers[i], p, TEXT_SIZE);
    default: return p;
    }
}

void ScanCommandLine(const char *tail, CommandFlags *flags, CollectedValues *values)
{
    memset(flags, 0, sizeof *flags);
    memset(values, 0, sizeof *values);
    values->settings.end = STOP_SYSANDCLOSE;
    values->settings.envWhole = 1;

    const char *p = tail;
    while (*p != '\0') {
        if (*p != '/' && *p != '-') {
            p++;
            continue;
        }
        p++;
        for (const OptionEntry &entry : kOptions) {
            const char *name = entry.kind == KIND_KEY ? kKeys[entry.target].key : entry.name;
            size_t len = strlen(name);
            if (!TextEqualNI(p, name, len))
                continue;
            p += len;
            if (entry.kind == KIND_FLAG) {
                *FlagTarget(entry.target, flags) = 1;
            } else if (entry.kind == KIND_KEY) {
                p = ScanKey(entry.target, p, values);
            } else if (entry.kind == KIND_PASSWORD) {
                Credentials *credentials = &values->credentials;
                credentials->passwordGiven = 1;
                p = ReadWholeValue(credentials->password, p, TEXT_SIZE, &credentials->cut);
            } else {
                // A line that fills the buffer has no room in the section.
                char line[ENV_SECTION_SIZE];
                p = ReadOptionValue(line, p, sizeof line);
                if (!AppendEnvLine(values->settings.env, ENV_SECTION_SIZE, line))
                    values->settings.envWhole = 0;
            }
        }
    }
}

void ParseCommandLine(const char *tail)
{
    static CollectedValues values;
    ScanCommandLine(tail, &gFlags, &values);
    // The password is held in one place only.
    gCredentials = values.credentials;
    ZeroText(values.credentials.password, TEXT_SIZE);
    gCredentials.accountGiven = values.given >> K_ACCOUNT & 1;
    gCredentials.cut |= values.cut >> K_ACCOUNT & 1;
    if ((!gFlags.install && !gFlags.uninstall) || gFlags.ini) {
        LoadSettings();
        return;
    }
    gSettings = values.settings;
    // A list given empty is refused as an empty item would be.
    if (values.given & 1u << K_NORETRY && gSettings.noretry[0] == '\0')
        CopyText(gSettings.noretry, TEXT_SIZE, ",");
    // A number not given takes its default; one given that is no number in
    // range, an empty one too, stays -1, so that the install refuses it
    // rather than guess.
    for (int i = 0; i < KEY_COUNT; i++)
        if (kKeys[i].kind == KEY_NUMBER)
            gSettings.*kKeys[i].number = values.given & 1u << i
                                             ? ParseNumberKey(kKeys[i], values.numbers[i])
                                             : kKeys[i].fallback;
}
