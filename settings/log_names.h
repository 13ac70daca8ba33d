// The log file's names and numbers. Pure: no Windows header, so it is built
// and tested natively too.
#ifndef TAVI_SETTINGS_LOG_NAMES_H
#define TAVI_SETTINGS_LOG_NAMES_H

#include <stddef.h>

enum {
    LOG_SIZE_DEFAULT = 10485760, // bytes before the file is rotated
    LOG_SIZE_MAX = 2147483647,
    LOG_KEEP_DEFAULT = 5, // rotated files kept
    LOG_KEEP_MAX = 99
};

// The value of a decimal text of digits only, when it is at most max;
// otherwise (empty, a sign, a blank, any other byte, too large) -1.
int ParseLogNumber(const char *text, int max);
// The log's full path: a relative one is taken from tavi's folder. Returns
// 0 (out empty) when it does not fit in size bytes.
int FormLogPath(char *out, size_t size, const char *moduleDir, const char *log);
// The path of rotated file number (1 the newest): the number goes before
// the file name's extension (web.log: web.1.log), or after a name without
// one (web: web.1). Returns 0 (out empty) when it does not fit.
int FormRotatedLogName(char *out, size_t size, const char *path, int number);
// True when there is no log, or when its path and every rotated name that
// keep asks for fit in 259 bytes (rotation passes through number 1 also
// when keep is 0).
int LogNamesFit(const char *moduleDir, const char *log, int keep);
// How many of the n bytes at data go into a file with room bytes left: all
// when they fit; otherwise up to the last line end that fits, so that the
// lines stay whole in the older file; 0 when no line end fits.
size_t LogBytesThatFit(const char *data, size_t n, size_t room);

#endif
