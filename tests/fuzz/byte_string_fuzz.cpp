// Fuzzes the byte-string logic under ASan and UBSan: escaping round-trips and fails only with the empty
// text, texts end inside their exact-size blocks, cuts keep double-byte characters whole, parsed texts fit.
#include "launcher/command_line.h"
#include <string.h>
#include <memory>
#include <string>
#define CHECK(c) ((c) ? (void)0 : __builtin_trap()) // the crash's stack names the line
void LoadSettings(void) {}
int SaveSettings(void) { return 1; }
using Result = std::pair<int, std::string>;
using Write = int (*)(char *, size_t, const char *);

// Runs write on a heap block of exactly size bytes, full of '#', so ASan sees a byte past it.
static Result Block(size_t size, Write write, const char *text)
{
    std::unique_ptr<char[]> block(new char[size]);
    const int result = write((char *)memset(block.get(), '#', size), size, text);
    CHECK(!size || memchr(block.get(), 0, size));
    return {result, size ? block.get() : ""};
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const size_t len = strnlen((const char *)data, size);
    std::unique_ptr<char[]> copy(new char[len + 1]()); // the input up to its first NUL, exactly
    const char *s = (const char *)memcpy(copy.get(), data, len);
    Write read = [](char *o, size_t n, const char *t) { return (int)(ReadOptionValue(o, t, n) - t); };
    Write cut = [](char *o, size_t n, const char *t) { return memcpy(o, t, n), CutAtLastBackslash(o), 0; };
    std::string e = Block(2 * len + 1, EscapeValue, s).second, u = Block(len + 1, UnescapeValue, s).second;
    for (size_t n : {size_t(0), size_t(1), len / 2, len, len + 1, e.size(), e.size() + 1}) {
        CHECK(Block(n, EscapeValue, s) == (n > e.size() ? Result(1, e) : Result(0, "")));
        CHECK(Block(n, UnescapeValue, e.c_str()) == (n > len ? Result(1, s) : Result(0, "")));
        CHECK(Block(n, UnescapeValue, s) == (n > u.size() ? Result(1, u) : Result(0, ""))); // written by hand
        CHECK(Block(n, CopyText, s).first == (n > len) && Block(n, read, s).first <= (int)len);
    }
    const std::string kept = Block(len + 1, cut, s).second;
    CHECK(kept.size() == len || (s[kept.size()] == '\\' && !EndsInLeadByte(kept.c_str())));
    struct { CommandFlags f; CollectedValues v; } scan;
    ScanCommandLine(s, &scan.f, &scan.v);
    for (const char *text : {scan.v.name, scan.v.exe, scan.v.option, scan.v.description})
        CHECK(memchr(text, 0, TEXT_SIZE));
    return 0;
}
