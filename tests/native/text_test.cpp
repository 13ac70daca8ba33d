// Path and text helpers: lead bytes, bounded copies, ASCII-only folding and
// the Shift_JIS-aware search for separators.
#include "settings/text.h"

#include <gtest/gtest.h>

#include <string>

#include "exact_buffer.h"

namespace {

// Katakana "so" is 0x83 0x5C: its second byte is the code of a backslash.
#define SO "\x83\x5C"

TEST(IsLeadByte, CoversBothShiftJisRangesInclusive)
{
    const struct { unsigned char byte; int lead; } cases[] = {
        {0x00, 0}, {0x5C, 0}, {0x7F, 0}, {0x80, 0}, {0x81, 1}, {0x9F, 1},
        {0xA0, 0}, {0xDF, 0}, {0xE0, 1}, {0xFC, 1}, {0xFD, 0}, {0xFF, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.byte);
        EXPECT_EQ(c.lead, IsLeadByte(c.byte) != 0);
    }
}

TEST(CopyText, IsBoundedAndReportsWhetherTheWholeTextFitted)
{
    const struct { size_t size; const char *in; int whole; const char *out; } cases[] = {
        {1, "", 1, ""},    {1, "a", 0, ""},      {4, "abc", 1, "abc"},
        {4, "abcd", 0, "abc"}, {10, "abc", 1, "abc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.in) + " in " + std::to_string(c.size));
        ExactBuffer out(c.size);
        EXPECT_EQ(c.whole, CopyText(out.get(), out.size(), c.in));
        EXPECT_EQ(c.out, out.str());
    }
    ExactBuffer none(0);
    EXPECT_EQ(0, CopyText(none.get(), 0, "a"));
}

TEST(AppendText, AppendsOnlyWhenTheWholeResultFits)
{
    const struct { size_t size; const char *start, *in; int ok; const char *out; } cases[] = {
        {4, "ab", "c", 1, "abc"},  {4, "ab", "cd", 0, "ab"}, {4, "", "abc", 1, "abc"},
        {4, "abc", "", 1, "abc"}, {1, "", "a", 0, ""},      {6, "ab", "cd", 1, "abcd"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.start) + " + " + c.in);
        ExactBuffer out(c.size, c.start);
        EXPECT_EQ(c.ok, AppendText(out.get(), out.size(), c.in));
        EXPECT_EQ(c.out, out.str());
    }
    // A destination with no terminator inside its size is left alone.
    char full[3] = {'a', 'b', 'c'};
    EXPECT_EQ(0, AppendText(full, sizeof full, ""));
    EXPECT_EQ('c', full[2]);
}

TEST(TextEqualI, FoldsOnlyAsciiLettersBytewise)
{
    const struct { const char *a, *b; int equal; } cases[] = {
        {"", "", 1},       {"ABC", "abc", 1}, {"Zz", "zZ", 1}, {"abc", "abd", 0},
        {"abc", "ab", 0},  {"ab", "abc", 0},  {"@", "`", 0},   {"[", "{", 0},
        {"\xC0", "\xE0", 0},
        // No double-byte walk: an ASCII letter after a lead byte folds too.
        {"\x83\x41", "\x83\x61", 1},
        {"\x83\x41", "\x84\x41", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(c.equal, TextEqualI(c.a, c.b) != 0);
    }
}

TEST(TextEqualNI, ComparesAtMostNBytesAndStopsAtTheEnd)
{
    const struct { const char *a, *b; size_t n; int equal; } cases[] = {
        {"abcX", "ABCy", 3, 1}, {"abcX", "ABCy", 4, 0}, {"ab", "abc", 3, 0},
        {"ab", "AB", 50, 1},    {"x", "y", 0, 1},        {"install", "INSTALLx", 7, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(c.equal, TextEqualNI(c.a, c.b, c.n) != 0);
    }
}

TEST(CutAtLastBackslash, CutsAtTheLastSingleByteBackslash)
{
    const struct { const char *in, *out; } cases[] = {
        {"C:\\dir\\app.exe", "C:\\dir"},
        {"C:\\app.exe", "C:"},
        {"app.exe", "app.exe"},
        {"", ""},
        {"C:/dir/app.exe", "C:/dir/app.exe"},
        {"C:\\dir" SO "\\app.exe", "C:\\dir" SO},
        {"C:\\dir\\" SO, "C:\\dir"},
        {SO, SO},
        {SO "\\", SO},
        {"abc\x83", "abc\x83"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        std::string text = c.in;
        CutAtLastBackslash(&text[0]);
        EXPECT_EQ(c.out, std::string(text.c_str()));
    }
}

TEST(BaseNameWithoutExtension, TakesTheNameAfterTheLastSeparatorUpToTheFirstDot)
{
    const struct { const char *path, *out; } cases[] = {
        {"C:\\tools\\my.server.exe", "my"},
        {"C:\\tools\\server.exe", "server"},
        {"D:app.exe", "app"},
        {".exe", ""},
        {"app", "app"},
        {"", ""},
        {"C:\\dir\\", ""},
        {"C:/dir/app.exe", "/dir/app"},
        {"C:\\dir" SO "app.exe", "dir" SO "app"},
        {"C:\\" SO "\\x.exe", "x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        ExactBuffer out(TEXT_SIZE);
        BaseNameWithoutExtension(out.get(), out.size(), c.path);
        EXPECT_EQ(c.out, out.str());
    }
}

TEST(BaseNameWithoutExtension, StaysInsideTheOutputSize)
{
    const struct { size_t size; const char *out; } cases[] = {
        {1, ""}, {3, "se"}, {7, "server"}, {8, "server"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        ExactBuffer out(c.size);
        BaseNameWithoutExtension(out.get(), out.size(), "C:\\tools\\server.exe");
        EXPECT_EQ(c.out, out.str());
    }
    ExactBuffer none(0);
    BaseNameWithoutExtension(none.get(), 0, "C:\\tools\\server.exe");
}

TEST(FindExtension, ScansBytewiseBackFromTheEndToTheSecondByte)
{
    // offset: where the returned pointer lies in the path.
    const struct { const char *path; size_t offset; } cases[] = {
        {"C:\\a\\b.exe", 7},  // after the dot
        {"C:\\a.b\\prog", 11}, // separator first: empty, at the end
        {"C:/dir/app.exe", 11},
        {"C:/a.b/prog", 11},   // a forward slash separates too
        {"C:x", 3},
        {"a.b.c", 4},
        {"app.", 4},
        {"exe", 0},           // no dot: the whole text
        {".exe", 0},          // the first byte is never examined
        {"/x", 0},
        {"", 0},
        {"a" SO, 3},          // bytewise: a second byte 0x5C is a separator
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.path + c.offset, FindExtension(c.path));
    }
}

TEST(HasProgramExtension, AcceptsExeAndBatInAnyCase)
{
    const struct { const char *path; int program; } cases[] = {
        {"C:\\a\\b.exe", 1}, {"C:\\a\\b.EXE", 1}, {"x.Bat", 1},  {"x.bAT", 1},
        {"x.cmd", 0},        {"x.exe.txt", 0},    {"x.exex", 0}, {"C:\\d.exe\\prog", 0},
        {"", 0},             {"exe", 1},          {".bat", 0},   {"x.", 0}, // ".bat" is its own extension
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.program, HasProgramExtension(c.path) != 0);
    }
}

} // namespace
