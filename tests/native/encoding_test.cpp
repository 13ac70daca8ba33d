// Escaping of the option value and its stored form in the settings file.
#include "settings/option_store.h"
#include "settings/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "exact_buffer.h"

namespace {

#define SO "\x83\x5C"

std::string Escaped(const std::string &in)
{
    ExactBuffer out(2 * in.size() + 1);
    EXPECT_EQ(1, EscapeValue(out.get(), out.size(), in.c_str()));
    return out.str();
}

std::string Unescaped(const std::string &in)
{
    ExactBuffer out(in.size() + 1);
    EXPECT_EQ(1, UnescapeValue(out.get(), out.size(), in.c_str()));
    return out.str();
}

TEST(EscapeValue, EscapesSingleByteBackslashesAndQuotes)
{
    const struct { const char *in, *out; } cases[] = {
        {"", ""},
        {"plain -a b", "plain -a b"},
        {"a\\b", "a\\\\b"},
        {"\"q\"", "\\\"q\\\""},
        {"C:\\dir\\", "C:\\\\dir\\\\"},
        {SO, SO},                       // second byte 0x5C stays single
        {SO "\\", SO "\\\\"},
        {"\x83\"", "\x83\""},           // the byte after a lead byte is never looked at
        {"\x81\x81\\", "\x81\x81\\\\"}, // two lead bytes make one character
        {"\xA0\\", "\xA0\\\\"},         // half-width kana is single-byte
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(c.out, Escaped(c.in));
    }
}

TEST(UnescapeValue, DropsOnlyABackslashBeforeABackslashOrQuote)
{
    const struct { const char *in, *out; } cases[] = {
        {"", ""},
        {"a\\\\b", "a\\b"},
        {"\\\"", "\""},
        {"a\\nb", "a\\nb"},
        {"end\\", "end\\"},
        {"\\\\\\", "\\\\"},
        {"\\\\\\\\", "\\\\"},
        {SO "\\\\", SO "\\"},
        {SO "\"", SO "\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(c.out, Unescaped(c.in));
    }
}

// Random byte strings rich in backslashes, quotes and lead bytes: escaping
// then unescaping gives the input back, and both routines fit exactly in
// length + 1 bytes and fail cleanly, with empty output, in one byte less.
TEST(EscapeValue, RoundTripsAndFitsExactlyForRandomBytes)
{
    std::mt19937 random(20240601);
    const unsigned char special[] = {0x5C, 0x22, 0x81, 0x83, 0x9F, 0xE0, 0xFC, 0x20};
    for (int round = 0; round < 3000; round++) {
        std::string in(random() % 260, ' ');
        for (char &byte : in)
            byte = (char)(random() % 2 ? special[random() % sizeof special] : 1 + random() % 255);
        SCOPED_TRACE(round);

        std::string escaped = Escaped(in);
        ASSERT_EQ(in, Unescaped(escaped));

        ExactBuffer exact(escaped.size() + 1);
        ASSERT_EQ(1, EscapeValue(exact.get(), exact.size(), in.c_str()));
        ASSERT_EQ(escaped, exact.str());
        if (!escaped.empty()) {
            ExactBuffer shortEscape(escaped.size());
            ASSERT_EQ(0, EscapeValue(shortEscape.get(), shortEscape.size(), in.c_str()));
            ASSERT_EQ("", shortEscape.str());
        }
        if (!in.empty()) {
            ExactBuffer shortUnescape(in.size());
            ASSERT_EQ(0, UnescapeValue(shortUnescape.get(), shortUnescape.size(), escaped.c_str()));
            ASSERT_EQ("", shortUnescape.str());
        }
    }
}

TEST(EscapeValue, FailsWithEmptyOutputWhenTheResultExceedsTheSize)
{
    const struct { size_t backslashes; size_t size; int ok; } cases[] = {
        {129, TEXT_SIZE, 1}, // 258 bytes
        {130, TEXT_SIZE, 0}, // 260 bytes: no room for the terminator
        {259, TEXT_SIZE, 0},
        {1, 3, 1},
        {1, 2, 0},           // never half an escape
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.backslashes);
        ExactBuffer out(c.size);
        EXPECT_EQ(c.ok, EscapeValue(out.get(), out.size(), std::string(c.backslashes, '\\').c_str()));
        EXPECT_EQ(c.ok ? std::string(2 * c.backslashes, '\\') : "", out.str());
    }
    ExactBuffer none(0);
    EXPECT_EQ(0, EscapeValue(none.get(), 0, ""));
    EXPECT_EQ(0, UnescapeValue(none.get(), 0, ""));
}

TEST(FormatStoredOption, QuotesTheEscapedOptionWhenItFits)
{
    const struct { std::string option; int ok; std::string stored; } cases[] = {
        {"", 1, "\"\""},
        {"-a \"b c\" ", 1, "\"-a \\\"b c\\\" \""},
        {"C:\\dir\\", 1, "\"C:\\\\dir\\\\\""},
        {std::string(129, '\\'), 1, "\"" + std::string(258, '\\') + "\""},
        {std::string(130, '\\'), 0, ""},
        {std::string(259, 'x'), 1, "\"" + std::string(259, 'x') + "\""},
        {std::string(258, 'x') + "\"", 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.option);
        ExactBuffer out(STORED_OPTION_SIZE);
        EXPECT_EQ(c.ok, FormatStoredOption(out.get(), c.option.c_str()));
        EXPECT_EQ(c.stored, out.str());
        EXPECT_EQ(c.ok, OptionFitsSettings(c.option.c_str()) != 0);
    }
}

// A line break would end the line in the file and could add keys of its own.
TEST(SettingsCanBeStored, RefusesLineBreaksAndAnOptionThatDoesNotFit)
{
    const struct { const char *exe, *name, *description; std::string option; int ok; } cases[] = {
        {"C:\\a.exe", "svc", "text", "-x", 1},
        {"C:\\a.exe", "svc", "text", std::string(130, '\\'), 0},
        {"C:\\a.exe\r\nname=other", "svc", "", "", 0},
        {"C:\\a.exe", "svc\n", "", "", 0},
        {"C:\\a.exe", "svc", "one\rtwo", "", 0},
        {"C:\\a.exe", "svc", "", "-a\n-b", 0},
        {"C:\\a.exe", "svc", "", "-a\x83", 0},
        {"C:\\a.exe", "svc\x83", "", "", 0},
        {"C:\\a.exe", "svc", "", "-a\x83\x5C", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServiceSettings settings = {};
        CopyText(settings.exe, TEXT_SIZE, c.exe);
        CopyText(settings.name, TEXT_SIZE, c.name);
        CopyText(settings.description, TEXT_SIZE, c.description);
        CopyText(settings.option, TEXT_SIZE, c.option.c_str());
        EXPECT_EQ(c.ok, SettingsCanBeStored(&settings) != 0);
    }
}

TEST(DecodeStoredOption, UnescapesOnlyAnEncodedValue)
{
    const struct { const char *stored; int encoded; const char *out; } cases[] = {
        {"a\\\\b \\\"c\\\"", 1, "a\\b \"c\""},
        {"a\\\\b \\\"c\\\"", 0, "a\\\\b \\\"c\\\""},
        {"C:\\dir\\", 1, "C:\\dir\\"},
        {SO "\\\\", 1, SO "\\"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        ExactBuffer out(TEXT_SIZE);
        DecodeStoredOption(out.get(), out.size(), c.stored, c.encoded);
        EXPECT_EQ(c.out, out.str());
    }
}

// What the profile reader hands back is the stored form without its pair
// of enclosing quotes; decoding it must restore the option byte for byte.
TEST(DecodeStoredOption, RestoresWhatFormatStoredOptionWrote)
{
    const std::string options[] = {
        "", " lead and trail ", "-a \"b c\"", "\"", "\\", "C:\\dir\\", "x\\\"y",
        SO "\\" SO "\"", std::string(129, '\\'),
    };
    for (const std::string &option : options) {
        SCOPED_TRACE(option);
        ExactBuffer stored(STORED_OPTION_SIZE);
        ASSERT_EQ(1, FormatStoredOption(stored.get(), option.c_str()));
        std::string inner = stored.str().substr(1, stored.str().size() - 2);
        ExactBuffer out(TEXT_SIZE);
        DecodeStoredOption(out.get(), out.size(), inner.c_str(), 1);
        EXPECT_EQ(option, out.str());
    }
}

} // namespace
