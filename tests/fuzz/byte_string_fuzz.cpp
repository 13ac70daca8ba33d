// Fuzzes the byte-string logic under ASan and UBSan with rules that hold for every
// input; the input up to its first NUL is a path, an option and a command-line tail.
#include "launcher/command_line.h"
#include "settings/option_store.h"
#include "settings/settings_file.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <memory>
#include <string>

#define CHECK(c) ((c) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #c), abort()))

void LoadSettings(void) {}
int SaveSettings(void) { return 1; }

namespace {

using Result = std::pair<int, std::string>;

// Runs write on a heap block of exactly size bytes, full of '#', so ASan sees any
// byte past it; gives the result and the text, which must end inside the block.
template <class Write> Result Run(size_t size, Write write)
{
    std::unique_ptr<char[]> block(new char[size]);
    memset(block.get(), '#', size);
    const int result = write(block.get());
    CHECK(!size || memchr(block.get(), 0, size));
    return {result, size ? block.get() : ""};
}

std::string SwapCase(std::string s) // every ASCII letter in the other case
{
    for (char &c : s)
        c = (c | 0x20) >= 'a' && (c | 0x20) <= 'z' ? (char)(c ^ 0x20) : c;
    return s;
}

void TextHelpers(const std::string &in)
{
    size_t cut = in.size(), i = 0; // the last backslash that is not a second byte
    for (; i < in.size(); i++) {
        const unsigned char c = in[i];
        i += (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        cut = c == '\\' ? i : cut;
    }
    CHECK(EndsInLeadByte(in.c_str()) == (i > in.size()));
    const auto cutAt = [&](char *t) {
        return memcpy(t, in.c_str(), in.size() + 1), FindExtension(t), CutAtLastBackslash(t), 0; };
    CHECK(Run(in.size() + 1, cutAt).second == in.substr(0, cut));
    for (size_t size : {size_t(0), size_t(1), in.size() / 2, in.size(), in.size() + 1}) {
        const auto copy = [&](char *o) { return CopyText(o, size, in.c_str()); };
        CHECK(Run(size, copy) == Result(size > in.size(), in.substr(0, size ? size - 1 : 0)));
        Run(size, [&](char *o) { return BaseNameWithoutExtension(o, size, in.c_str()), 0; });
    }
    CHECK(TextEqualI(in.c_str(), SwapCase(in).c_str()));
    CHECK(!TextEqualI(in.c_str(), (in + "x").c_str()));
}

// Exactly the result's size is enough, one byte less is refused with the empty text.
void Escaping(const std::string &in)
{
    const auto escape = [&](size_t n) {
        return Run(n, [&](char *o) { return EscapeValue(o, n, in.c_str()); }); };
    const std::string e = escape(2 * in.size() + 1).second;
    const auto unescape = [](size_t n, const std::string &text) {
        return Run(n, [&](char *o) { return UnescapeValue(o, n, text.c_str()); }); };
    CHECK(escape(e.size() + 1) == Result(1, e) && escape(e.size()) == Result(0, ""));
    CHECK(unescape(in.size() + 1, e) == Result(1, in) && unescape(in.size(), e) == Result(0, ""));
    // Unescaping a text as written by hand: a plain byte added at its end comes out there.
    CHECK(unescape(in.size() + 2, in + "x") == Result(1, unescape(in.size() + 1, in).second + "x"));
    const int fits = e.size() < TEXT_SIZE;
    const auto store = [&](char *o) { return FormatStoredOption(o, in.c_str()); };
    const auto decode = [&](char *o) { return DecodeStoredOption(o, TEXT_SIZE, e.c_str(), 1), 0; };
    CHECK(Run(STORED_OPTION_SIZE, store) == Result(fits, fits ? "\"" + e + "\"" : ""));
    CHECK(OptionFitsSettings(in.c_str()) == fits && (!fits || Run(TEXT_SIZE, decode).second == in));
}

// Names and stop methods are read in any case: swapping it swaps only the values.
void Parsing(const std::string &tail)
{
    std::unique_ptr<char[]> source(new char[tail.size() + 1]); // exactly the tail
    const char *s = (const char *)memcpy(source.get(), tail.c_str(), tail.size() + 1);
    for (size_t n : {size_t(0), size_t(1), size_t(4), size_t(TEXT_SIZE)})
        Run(n, [&](char *o) { return CHECK(ReadOptionValue(o, s, n) <= s + tail.size()), 0; });
    CommandFlags flags[2];
    CollectedValues values[2];
    memset(values, 0x7F, sizeof values);
    ScanCommandLine(s, &flags[0], &values[0]);
    ScanCommandLine(SwapCase(tail).c_str(), &flags[1], &values[1]);
    CHECK(!memcmp(&flags[0], &flags[1], sizeof *flags));
    CHECK(values[0].end >= 0 && values[0].end <= 3 && values[0].end == values[1].end);
    for (auto text : {&CollectedValues::name, &CollectedValues::exe, &CollectedValues::option,
                      &CollectedValues::description})
        CHECK(memchr(values[0].*text, 0, TEXT_SIZE) && SwapCase(values[0].*text) == values[1].*text);
    ParseCommandLine(s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string in((const char *)data, strnlen((const char *)data, size));
    TextHelpers(in);
    Escaping(in);
    Parsing(in);
    return 0;
}
