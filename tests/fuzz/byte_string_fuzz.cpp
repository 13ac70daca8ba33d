// libFuzzer target over the byte-string logic, built by scripts/fuzz.sh with ASan and UBSan:
// escaping round-trips or gives the empty text, outputs end in exact-size blocks, cuts keep
// double-byte characters, parsed texts fit.
#include "launcher/command_line.h"
#include <string.h>
#include <string>
#include <vector>
#define CHECK(c) ((c) ? (void)0 : __builtin_trap()) // the crash's stack names the line
void LoadSettings(void)
{
}
// Runs write on an exact-size heap block (for ASan) full of '#'; the text must end in it. Gives
// "result:text".
static std::string Block(size_t size, int (*write)(char *, size_t, const char *), const char *text)
{
    std::vector<char> b(size, '#');
    const int result = write(b.data(), size, text);
    return CHECK(!size || memchr(b.data(), 0, size)),
           std::to_string(result) + ":" + (size ? b.data() : "");
}
extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const size_t len = strnlen((const char *)data, size);
    std::vector<char> copy(len + 1); // the input up to its first NUL, in exactly that many bytes
    const char *s = (const char *)memcpy(copy.data(), data, len);
    const auto read = [](char *o, size_t n, const char *t) {
        return (int)(ReadOptionValue(o, t, n) - t);
    };
    const auto cut = [](char *o, size_t n, const char *t) {
        return memcpy(o, t, n), CutAtLastBackslash(o), 0;
    };
    const std::string e = Block(2 * len + 1, EscapeValue, s).substr(2),
                      kept = Block(len + 1, cut, s).substr(2);
    const std::string u = Block(len + 1, UnescapeValue, s).substr(2);
    for (size_t n : {size_t(0), size_t(1), len / 2, len, len + 1, e.size(), e.size() + 1}) {
        CHECK(Block(n, EscapeValue, s) == (n > e.size() ? "1:" + e : "0:"));
        CHECK(Block(n, UnescapeValue, e.c_str()) == (n > len ? "1:" + std::string(s) : "0:"));
        CHECK(Block(n, UnescapeValue, s) ==
              (n > u.size() ? "1:" + u : "0:")); // unescaping a text written by hand
        CHECK(Block(n, CopyText, s)[0] == '0' + (n > len) &&
              std::stoi(Block(n, read, s)) <= (int)len);
    }
    CHECK(kept.size() == len || (s[kept.size()] == '\\' && !EndsInLeadByte(kept.c_str())));
    struct {
        CommandFlags f;
        CollectedValues v;
    } p;
    ScanCommandLine(s, &p.f, &p.v);
    for (const char *text : {p.v.name, p.v.exe, p.v.option, p.v.description})
        CHECK(memchr(text, 0, TEXT_SIZE));
    return 0;
}
