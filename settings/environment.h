// The program's environment: the [env] section's lines "NAME=value" and the
// block the program is started with. A section is held as the profile
// functions hand it over: each line ends in a NUL, and an empty line ends
// the list. Pure: no Windows header, so it is built and tested natively too.
#ifndef TAVI_SETTINGS_ENVIRONMENT_H
#define TAVI_SETTINGS_ENVIRONMENT_H

#include <stddef.h>

// The section as stored (all its lines); the block the program gets (tavi's
// own environment with the section's variables); the longest variable, as
// the platform allows, "NAME=value" after expansion.
enum { ENV_SECTION_SIZE = 32768, ENV_BLOCK_SIZE = 65536, ENV_VARIABLE_MAX = 32767 };

// The bytes of a list, the NUL that ends it included.
size_t EnvListLength(const char *list);
// Adds line at the list's end; 0 (the list unchanged) when it does not fit.
int AppendEnvLine(char *list, size_t size, const char *line);
// True when line is "NAME=value" with a name, and reads back unchanged
// from the file: neither the name nor the value begins or ends in a blank
// (the reader drops those), the line begins with neither ";" nor "[" (a
// comment, a section), holds no line break and does not end in half a
// double-byte character. An empty value is stored: it removes the variable.
int EnvLineCanBeStored(const char *line);

// Drops the blanks around each line's name and value, in place, as Wine's
// reader does and Windows' may not: "NAME = value" reads as "NAME=value".
void TrimEnvLines(char *list);

enum EnvResult { ENV_FORMED, ENV_TOO_LONG, ENV_NOT_A_VARIABLE };
// Forms in block the environment of own (a block as the platform gives it)
// with each variable of section set: added, or replacing one of the same
// name in any letter case; an empty value removes it. "%NAME%" in a value
// is replaced by NAME's value in own; a name own lacks stays as written.
// When a name comes twice, the later line holds. Lines beginning with ";"
// are comments. On ENV_NOT_A_VARIABLE, *line is the 1-based number of the
// line that is no "NAME=value"; on ENV_TOO_LONG a variable or the block
// would not fit.
EnvResult FormEnvironment(char *block, size_t size, const char *own, const char *section,
                          int *line);

// The list as the lines of a text, each ended by CR LF: 0 (out empty) when
// it does not fit in size bytes.
int EnvListToText(char *out, size_t size, const char *list);
// The lines of a text (ended by LF or CR LF; empty ones passed over) as a
// list: ENV_FORMED, ENV_NOT_A_VARIABLE with *line the 1-based number of the
// first line that cannot be stored, or ENV_TOO_LONG when the list would not
// fit in size bytes.
EnvResult EnvTextToList(char *list, size_t size, const char *text, int *line);

#endif
