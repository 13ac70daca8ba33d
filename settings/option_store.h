// The stored form of `option` in the settings file: escaped, then enclosed
// in one pair of double quotes. The profile reader drops blanks around a
// value and one pair of enclosing quotes; the quotes we add are the pair it
// drops, so blanks and quotes of the option itself read back exactly.
#ifndef TAVI_SETTINGS_OPTION_STORE_H
#define TAVI_SETTINGS_OPTION_STORE_H

#include <stddef.h>
#include "settings/service_settings.h"

// Room for the quoted form: the escaped text (at most 259 bytes, what the
// reader can take back), two quotes and the terminator.
enum { STORED_OPTION_SIZE = 262 };

// Returns 1 and the quoted, escaped form of option in out (which must hold
// STORED_OPTION_SIZE bytes), or 0 when the escaped form exceeds 259 bytes.
int FormatStoredOption(char *out, const char *option);
// True when option can be saved and read back whole.
int OptionFitsSettings(const char *option);
// True when every text of settings can be saved and read back unchanged:
// the option fits, no text holds a line break (which would end the line in
// the file and could add keys of its own), none ends in half a double-byte
// character (as a value cut at 259 bytes may), and every number is in its
// range.
int SettingsCanBeStored(const ServiceSettings *settings);
// True when the [env] section is whole and each of its lines can be
// stored. The window, which keeps the section as it is, does not ask.
int EnvCanBeStored(const ServiceSettings *settings);
// Turns the value the reader returned (at most STORED_OPTION_SIZE - 1
// bytes) back into the option text, cut at a character boundary to size.
void DecodeStoredOption(char *out, size_t size, const char *stored, int encoded);

#endif
