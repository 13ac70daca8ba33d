// The command-line parser: the option table, value reading and the choice
// between command-line values and the settings file. Byte-wise, with no
// double-byte walk: "/", "-", "=", '"', blank and tab never are second bytes.
#ifndef TAVI_LAUNCHER_COMMAND_LINE_H
#define TAVI_LAUNCHER_COMMAND_LINE_H

#include <stddef.h>
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

// Values collected from the command line, held until the scan ends.
struct CollectedValues {
    char name[TEXT_SIZE];
    char exe[TEXT_SIZE];
    char option[TEXT_SIZE];
    char description[TEXT_SIZE];
    int desktop;
    int auto_;
    int retry;
    int end;
    char log[TEXT_SIZE];
    // The numbers' texts, in the order of kNumberKeys, as given; bit i of
    // given is set when number i is (also when it is given empty).
    char numbers[NUMBER_KEY_COUNT][TEXT_SIZE];
    unsigned given;
    // Each /env's "NAME=value", in the order given (environment.h); 0 in
    // envWhole when one was empty or did not fit.
    char env[ENV_SECTION_SIZE];
    int envWhole;
};

const char *SkipToWhitespace(const char *position);
const char *ReadOptionValue(char *destination, const char *source, size_t size);
// The method named by an `end` value, or current when it names none.
int StopMethodFromValue(const char *value, int current);

// Scans the tail into flags and values (both reset first).
void ScanCommandLine(const char *tail, CommandFlags *flags, CollectedValues *values);
// Sets gFlags, then fills gSettings from the command line when an install or
// uninstall is asked for without /ini, otherwise from the settings file.
void ParseCommandLine(const char *tail);

#endif
