// The configuration of the one wrapped service, and the process-wide copy
// of it. Field names are the settings file's keys; `auto` is a keyword of
// the language, so its field is auto_.
#ifndef TAVI_SETTINGS_SERVICE_SETTINGS_H
#define TAVI_SETTINGS_SERVICE_SETTINGS_H

#include "settings/environment.h"
#include "settings/text.h"

// How the child is asked to end; also the index in the dialog's list.
enum StopMethod {
    STOP_CLOSE = 0,       // WM_CLOSE to each unowned top-level window
    STOP_SYSCOMMAND = 1,  // WM_SYSCOMMAND with SC_CLOSE
    STOP_SYSANDCLOSE = 2, // WM_SYSCOMMAND with SC_CLOSE, then WM_CLOSE
    STOP_CTRLBREAK = 3    // console Ctrl+Break to the child's process group
};

struct ServiceSettings {
    char exe[TEXT_SIZE];
    char option[TEXT_SIZE];
    char name[TEXT_SIZE];
    char description[TEXT_SIZE];
    int end;
    int auto_;
    int desktop;
    int retry;
    // The program's log: its path (empty: none), the size at which it is
    // rotated (0: never) and the rotated files kept.
    char log[TEXT_SIZE];
    int logsize;
    int logkeep;
    // The longest pause before a relaunch, in seconds (0: no pauses), and
    // the seconds the program has to end after a stop request.
    int retrymax;
    int stoptime;
    // The [env] section's lines (environment.h), and 0 when the section did
    // not fit: in the file, or on the command line.
    char env[ENV_SECTION_SIZE];
    int envWhole;
};

extern ServiceSettings gSettings;

// The settings that are numbers in a range, one row each, in the order of
// their keys in the file: the key (also the option's name), the field, the
// range, and what a missing key or a value out of range reads as. A value
// given on the command line that is no number in range reads -1, and is
// refused.
struct NumberKey {
    const char *key;
    int ServiceSettings::*field;
    int min, max, fallback;
};
enum { NUMBER_KEY_COUNT = 4 };
extern const NumberKey kNumberKeys[NUMBER_KEY_COUNT];

// The value of text for key: -1 when it is no decimal number in its range.
int ParseNumberKey(const NumberKey &key, const char *text);

// The keyword of a method ("close", "syscommand", "sysandclose",
// "ctrlbreak"); a value outside 0-3 acts as, and is named, "close".
const char *StopMethodName(int method);

#endif
