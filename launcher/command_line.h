// The command-line parser: the option table, value reading and the choice
// between command-line values and the settings file. Byte-wise, since "/",
// "-", "=", '"', blank and tab never are second bytes; only a quoted value
// walks its double-byte characters, so that a second byte 0x5C before the
// closing quote is no escape.
#ifndef TAVI_LAUNCHER_COMMAND_LINE_H
#define TAVI_LAUNCHER_COMMAND_LINE_H

#include <stddef.h>
#include "settings/account.h"
#include "settings/service_settings.h"

struct CommandFlags {
    int install;
    int uninstall;
    int ini;
    int start;
    int no_error;
    int ok;
    int question;
};

extern CommandFlags gFlags;

// Values collected from the command line, held until the scan ends: the
// texts, flags (0 when absent) and the method (2 when absent) as given,
// with each /env's "NAME=value" in the order given (envWhole 0 when one was
// empty or did not fit); the numbers' texts as given, bit i of given set
// when key i (a number, a text or a list) is given (also when empty), bit i
// of cut when its text went on past 259 bytes; the password as given.
struct CollectedValues {
    ServiceSettings settings;
    char numbers[KEY_COUNT][TEXT_SIZE];
    unsigned given;
    unsigned cut;
    Credentials credentials;
};

const char *SkipToWhitespace(const char *position);
const char *ReadOptionValue(char *destination, const char *source, size_t size);
// The method named by an `end` value, or current when it names none.
int StopMethodFromValue(const char *value, int current);

// Scans the tail into flags and values (both reset first).
void ScanCommandLine(const char *tail, CommandFlags *flags, CollectedValues *values);
// Sets gFlags and gCredentials, then fills gSettings from the command line
// when an install or uninstall is asked for without /ini, otherwise from the
// settings file.
void ParseCommandLine(const char *tail);

#endif
