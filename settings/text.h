// Byte-string helpers for paths and values in the ANSI code page.
// The routines that look for a backslash, a colon or a double quote walk the
// text as Shift_JIS, so a second byte of 0x5C is never taken for a backslash.
// No Windows header here: this file is built and tested natively too.
#ifndef TAVI_SETTINGS_TEXT_H
#define TAVI_SETTINGS_TEXT_H

#include <stddef.h>

// Every text of the program lives in a buffer of this size (259 bytes + NUL).
enum { TEXT_SIZE = 260 };

int IsLeadByte(unsigned char byte);

// Copies at most size - 1 bytes and always terminates. Returns 1 when the
// whole source fitted, 0 when it was cut.
int CopyText(char *out, size_t size, const char *in);
// Appends like CopyText; returns 0 (and leaves out unchanged) when the
// result would not fit.
int AppendText(char *out, size_t size, const char *in);

// Appends value in decimal like AppendText; 0 (out unchanged) when it does
// not fit.
int AppendDecimal(char *out, size_t size, unsigned long value);

// Overwrites size bytes with zeros, through writes the compiler keeps even
// when the buffer is not read again: for a password.
void ZeroText(char *text, size_t size);

// ASCII case-insensitive comparison: only A-Z fold to a-z.
int TextEqualI(const char *a, const char *b);
int TextEqualNI(const char *a, const char *b, size_t n);

// True when the text ends in a lead byte without its second byte, as a
// value cut at its byte limit may.
int EndsInLeadByte(const char *text);

// The position just after the last single-byte one of separators in path,
// walked as Shift_JIS; path itself when there is none.
const char *AfterLastSeparator(const char *path, const char *separators);
void CutAtLastBackslash(char *text);
void BaseNameWithoutExtension(char *out, size_t size, const char *path);
const char *FindExtension(const char *path);
// True when path's extension is "exe" or "bat" in any letter case.
int HasProgramExtension(const char *path);

// Escape puts a backslash before every single-byte backslash and double
// quote. Both return 1 on success and 0 when the result does not fit in
// size bytes; then out holds the empty text, never half an escape.
int EscapeValue(char *out, size_t size, const char *in);
int UnescapeValue(char *out, size_t size, const char *in);

#endif
