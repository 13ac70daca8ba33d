// Encoding of the option value for the settings file; see option_store.h.
#include "settings/option_store.h"
#include "settings/text.h"

#include <string.h>

int FormatStoredOption(char *out, const char *option)
{
    char escaped[TEXT_SIZE];
    out[0] = '\0';
    if (!EscapeValue(escaped, sizeof escaped, option))
        return 0;
    CopyText(out, STORED_OPTION_SIZE, "\"");
    AppendText(out, STORED_OPTION_SIZE, escaped);
    AppendText(out, STORED_OPTION_SIZE, "\"");
    return 1;
}

int OptionFitsSettings(const char *option)
{
    char escaped[TEXT_SIZE];
    return EscapeValue(escaped, sizeof escaped, option);
}

// A line break would end the line in the file; a lead byte without its
// second byte would join the byte written after it (the closing quote or
// the line end) into one character.
static int CanBeWritten(const char *text)
{
    for (const char *p = text; *p != '\0'; p++)
        if (*p == '\r' || *p == '\n')
            return 0;
    return !EndsInLeadByte(text);
}

int SettingsCanBeStored(const ServiceSettings *settings)
{
    for (const SettingKey &key : kKeys) {
        if (key.text != NULL && !CanBeWritten(settings->*key.text))
            return 0;
        if (key.kind == KEY_CODES && ParseExitCodes(settings->*key.text, NULL) < 0)
            return 0;
        if (key.kind == KEY_NUMBER &&
            (settings->*key.number < key.min || settings->*key.number > key.max))
            return 0;
    }
    return OptionFitsSettings(settings->option);
}

int EnvCanBeStored(const ServiceSettings *settings)
{
    for (const char *line = settings->env; *line != '\0'; line += strlen(line) + 1)
        if (!EnvLineCanBeStored(line))
            return 0;
    return settings->envWhole;
}

void DecodeStoredOption(char *out, size_t size, const char *stored, int encoded)
{
    if (size == 0)
        return;
    // Decoding never lengthens a text, so whatever the reader returned fits
    // here; a file written by hand holds the option as it is.
    char decoded[STORED_OPTION_SIZE];
    if (encoded)
        UnescapeValue(decoded, sizeof decoded, stored);
    else
        CopyText(decoded, sizeof decoded, stored);
    // A hand-edited file can hold more than the field takes: the text is
    // cut where a character ends, never inside a double-byte character.
    if (!CopyText(out, size, decoded) && EndsInLeadByte(out))
        out[strlen(out) - 1] = '\0';
}
