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
    // The account the service runs under (account.h); empty: LocalSystem.
    char account[TEXT_SIZE];
    // The program's exit codes after which it is not relaunched even with
    // retry: "0,3" (ParseExitCodes); empty: none.
    char noretry[TEXT_SIZE];
    // The [env] section's lines (environment.h), and 0 when the section did
    // not fit: in the file, or on the command line.
    char env[ENV_SECTION_SIZE];
    int envWhole;
};

extern ServiceSettings gSettings;

// How a key's value is held, read, written and given on the command line.
enum KeyKind {
    KEY_TEXT,   // a text, as it stands
    KEY_OPTION, // the option: stored escaped and quoted (option_store.h)
    KEY_FLAG,   // 0 or 1; on the command line a flag, 1 when given
    KEY_METHOD, // the stop method; on the command line its keyword or 0-3
    KEY_NUMBER, // a number in min-max; on the command line refused outside it
    KEY_ENCODE, // no field: always written 1, the option's stored form
    KEY_CODES   // a text, a list of exit codes; on the command line refused when it is none
};

// The keys of the [tavi] section, one row each, in the order the file holds
// them: the key (also the option's name), its kind, its field (text or
// number), its range, and what a missing key reads as. The window shows the
// first nine in its main dialog and the others in its further settings.
struct SettingKey {
    const char *key;
    KeyKind kind;
    char (ServiceSettings::*text)[TEXT_SIZE];
    int ServiceSettings::*number;
    int min, max, fallback;
};
enum KeyIndex {
    K_EXE,
    K_OPTION,
    K_NAME,
    K_DESCRIPTION,
    K_END,
    K_AUTO,
    K_DESKTOP,
    K_RETRY,
    K_ENCODE,
    K_LOG,
    K_LOGSIZE,
    K_LOGKEEP,
    K_RETRYMAX,
    K_STOPTIME,
    K_ACCOUNT,
    K_NORETRY,
    KEY_COUNT
};
extern const SettingKey kKeys[KEY_COUNT];

// The value of text for a number key: -1 when it is no decimal number in
// its range.
int ParseNumberKey(const SettingKey &key, const char *text);

// A list of exit codes: at most EXIT_CODES_MOST decimal numbers of 0 to
// 4294967295, separated by commas, without blanks. Their count (0 for the
// empty text), the codes in codes when it is not NULL; -1 when the text is
// no such list.
enum { EXIT_CODES_MOST = 16 };
int ParseExitCodes(const char *text, unsigned long *codes);
// 1 when code is in the list (one that cannot be read holds none).
int ExitCodeListed(const char *list, unsigned long code);

// The keyword of a method ("close", "syscommand", "sysandclose",
// "ctrlbreak"); a value outside 0-3 acts as, and is named, "close".
const char *StopMethodName(int method);

#endif
