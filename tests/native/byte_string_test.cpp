// The byte-string logic shared with tavi.exe: text and path helpers, the option's
// encoding, the command-line parser, the child's command line and the service's path.
#include "launcher/command_line.h"
#include "scm/service_path.h"
#include "service/child_command.h"
#include "settings/option_store.h"
#include "settings/settings_file.h"
#include "settings/text.h"
#include <gtest/gtest.h>
#include <string.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The settings file needs Windows; here loading only counts.
static int gLoads;
void LoadSettings(void) { gLoads++; }
int SaveSettings(void) { return 1; }

namespace {

#define SO "\x83\x5C" // katakana "so": its second byte is the code of a backslash
// A writer: a call into block o of n bytes; V for a routine with no result.
#define W(call) [=](char *o [[maybe_unused]], size_t n [[maybe_unused]]) { return call; }
#define V(call) W((call, 0))
const size_t T = TEXT_SIZE;

struct Case { size_t size; std::function<int(char *, size_t)> write; std::string out; };

// Runs each writer on a heap block of exactly size bytes, full of '#', so ASan sees a
// byte written past it; expects "result:text", or the whole block and "!" unterminated.
void Expect(const std::vector<Case> &cases)
{
    for (size_t i = 0; i < cases.size(); i++) {
        const size_t size = cases[i].size;
        std::unique_ptr<char[]> block(new char[size]);
        memset(block.get(), '#', size);
        const int result = cases[i].write(block.get(), size);
        const size_t n = strnlen(block.get(), size);
        EXPECT_EQ(cases[i].out, std::to_string(result) + ":" + std::string(block.get(), n) +
                                    (size && n == size ? "!" : "")) << "case " << i;
    }
}

// " name[text]" for a text that is not empty, read no further than its buffer.
std::string Field(const char *name, const char *text)
{
    return *text ? std::string(" ") + name + "[" + std::string(text, strnlen(text, T)) + "]" : "";
}

// The flags set, in table order, the stop method and the texts, of CollectedValues
// or ServiceSettings alike.
#define FLAG(from, x) std::string(from.x ? #x " " : "")
template <class Values> std::string Summary(const CommandFlags &f, const Values &v)
{
    return FLAG(f, install) + FLAG(f, uninstall) + FLAG(f, ini) + FLAG(v, desktop) +
           FLAG(v, auto_) + FLAG(f, start) + FLAG(f, no_error) + FLAG(f, ok) + FLAG(f, question) +
           FLAG(v, retry) + "end=" + std::to_string(v.end) + Field("name", v.name) +
           Field("exe", v.exe) + Field("option", v.option) + Field("description", v.description);
}

TEST(Text, LeadBytesAndATextEndingInHalfACharacter)
{
    for (int byte : {0x5C, 0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD})
        EXPECT_EQ(byte == 0x81 || byte == 0x9F || byte == 0xE0 || byte == 0xFC, IsLeadByte(byte))
            << byte;
    for (auto c : {std::make_pair("", 0), {"a\x83", 1}, {SO, 0}, {"\x83\x83\x83", 1}, {"\xA0", 0}})
        EXPECT_EQ(c.second, EndsInLeadByte(c.first)) << c.first;
}

// AppendText leaves a block with no terminator inside its size alone.
TEST(Text, CopyAppendAndBaseNameStayInsideTheirSize)
{
    const auto base = [](const char *path) { return V(BaseNameWithoutExtension(o, n, path)); };
    Expect({{0, W(CopyText(o, n, "a")), "0:"}, {1, W(CopyText(o, n, "a")), "0:"},
            {4, W(CopyText(o, n, "abc")), "1:abc"}, {4, W(CopyText(o, n, "abcd")), "0:abc"},
            {4, W((strcpy(o, "ab"), AppendText(o, n, "c"))), "1:abc"},
            {4, W((strcpy(o, "ab"), AppendText(o, n, "cd"))), "0:ab"},
            {3, W(AppendText(o, n, "")), "0:###!"}, {0, base("C:\\server.exe"), "0:"},
            {3, base("C:\\server.exe"), "0:se"}, {7, base("C:\\server.exe"), "0:server"}});
}

// Blocks of size 0: only the result counts.
TEST(Text, ComparisonFoldsOnlyAToZBytewise)
{
    const auto eq = [](const char *a, const char *b) { return W(TextEqualI(a, b)); };
    const auto eqn = [](const char *a, const char *b, size_t k) { return W(TextEqualNI(a, b, k)); };
    Expect({{0, eq("AbZ", "aBz"), "1:"}, {0, eq("abc", "ab"), "0:"}, {0, eq("ab", "abc"), "0:"},
            {0, eq("@[", "`{"), "0:"}, {0, eq("\xC0", "\xE0"), "0:"},
            {0, eq("\x83\x41", "\x83\x61"), "1:"}, // no double-byte walk
            {0, eqn("abcX", "ABCy", 3), "1:"}, {0, eqn("abcX", "ABCy", 4), "0:"}});
}

// Each path through CutAtLastBackslash, BaseNameWithoutExtension,
// FindExtension (a suffix of the path) and HasProgramExtension.
TEST(Text, PathParts)
{
    const struct { const char *path, *cut, *base, *ext; int program; } cases[] = {
        {"C:\\tools\\my.server.exe", "C:\\tools", "my", "exe", 1}, {"", "", "", "", 0},
        {"C:\\app.EXE", "C:", "app", "EXE", 1}, {"D:app.Bat", "D:app.Bat", "app", "Bat", 1},
        {"exe", "exe", "exe", "exe", 1}, {".exe", ".exe", "", ".exe", 0},
        {"app.", "app.", "app", "", 0}, {"x.exe.txt", "x.exe.txt", "x", "txt", 0},
        {"C:/d/a.exe", "C:/d/a.exe", "/d/a", "exe", 1}, {"C:/a.b/c", "C:/a.b/c", "/a", "", 0},
        {"a.b:c", "a.b:c", "c", "", 0}, {"C:\\d" SO "\\a.exe", "C:\\d" SO, "a", "exe", 1},
        {SO "\\", SO, "", "", 0}, {"C:\\d\\" SO, "C:\\d", SO, "", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        Expect({{strlen(c.path) + 1, V((strcpy(o, c.path), CutAtLastBackslash(o))),
                 std::string("0:") + c.cut},
                {T, V(BaseNameWithoutExtension(o, n, c.path)), std::string("0:") + c.base}});
        EXPECT_EQ(c.path + strlen(c.path) - strlen(c.ext), FindExtension(c.path));
        EXPECT_EQ(c.program, HasProgramExtension(c.path));
    }
}

// Escaping and unescaping fit a block of exactly the result's size, one byte less
// gives 0 and the empty text. The stored form, the escaped text in quotes, is refused
// beyond 259 bytes; unquoted, as the profile reader returns it, it decodes back, and
// an option not stored encoded is taken as it is.
TEST(Escape, RoundTripsAndIsStoredInQuotes)
{
    const std::string b130(130, '\\'), x259(259, 'x');
    const struct { std::string plain, escaped; } cases[] = {
        {"", ""}, {"\"q\"", "\\\"q\\\""}, {"C:\\d\\", "C:\\\\d\\\\"}, {SO "\\", SO "\\\\"},
        {"\x83\"", "\x83\""}, {"\x81\x81\\", "\x81\x81\\\\"}, {"\xA0\\", "\xA0\\\\"},
        {x259, x259}, {b130, b130 + b130}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.plain);
        const char *plain = c.plain.c_str(), *escaped = c.escaped.c_str();
        const bool fits = c.escaped.size() < TEXT_SIZE;
        Expect({{c.escaped.size() + 1, W(EscapeValue(o, n, plain)), "1:" + c.escaped},
                {c.escaped.size(), W(EscapeValue(o, n, plain)), "0:"},
                {c.plain.size() + 1, W(UnescapeValue(o, n, escaped)), "1:" + c.plain},
                {c.plain.size(), W(UnescapeValue(o, n, escaped)), "0:"},
                {STORED_OPTION_SIZE, W(FormatStoredOption(o, plain)),
                 fits ? "1:\"" + c.escaped + "\"" : "0:"},
                {T, V(DecodeStoredOption(o, n, fits ? escaped : plain, fits)), "0:" + c.plain}});
        EXPECT_EQ(fits, OptionFitsSettings(plain));
    }
    // A backslash that escapes nothing stays, a trailing one too.
    Expect({{5, W(UnescapeValue(o, n, "end\\")), "1:end\\"},
            {5, W(UnescapeValue(o, n, "a\\nb")), "1:a\\nb"},
            {4, W(UnescapeValue(o, n, SO "\"")), "1:" SO "\""}});
    // Longer than the field (a hand-edited file), the option is cut after a whole character.
    const std::string a(258, 'a');
    Expect({{T, V(DecodeStoredOption(o, n, ("\\\\" + a + "b").c_str(), 1)), "0:\\" + a},
            {T, V(DecodeStoredOption(o, n, (a + SO "b").c_str(), 1)), "0:" + a},
            {T, V(DecodeStoredOption(o, n, (a + SO).c_str(), 0)), "0:" + a}});
}

// A line break would end the line in the file; a lone lead byte at the end
// would swallow the closing quote or the line end.
TEST(Escape, SettingsWithALineBreakOrHalfACharacterAreNotStored)
{
    using S = ServiceSettings;
    const struct { char (S::*field)[TEXT_SIZE]; std::string text; int ok; } cases[] = {
        {&S::option, "-x " SO, 1}, {&S::option, std::string(130, '\\'), 0},
        {&S::exe, "a\r\nname=x", 0}, {&S::name, "svc\n", 0}, {&S::description, "a\rb", 0},
        {&S::option, "-a\n-b", 0}, {&S::option, "-a\x83", 0}, {&S::exe, "C:\\a\x83", 0},
        {&S::name, "svc\x83", 0}, {&S::description, "\x83", 0}};
    for (const auto &c : cases) {
        S settings = {"C:\\a.exe", "-x", "svc", "text", 2, 1, 0, 0};
        CopyText(settings.*c.field, TEXT_SIZE, c.text.c_str());
        EXPECT_EQ(c.ok, SettingsCanBeStored(&settings)) << c.text;
    }
}

// The result is how far the source was read: where the scan goes on. Text glued
// to a closing quote is passed over; \" never closes.
TEST(CommandLine, ValuesEndAtABlankATabOrTheirClosingQuote)
{
    const auto read = [](const char *s) { return W((int)(ReadOptionValue(o, s, n) - s)); };
    Expect({{T, read("=abc def"), "4:abc"}, {T, read("abc"), "3:abc"}, {T, read("=a\tb"), "2:a"},
            {T, read("==abc"), "5:=abc"}, {T, read("=a\"b c\""), "4:a\"b"},
            {T, read("=\"ab"), "4:ab"}, {T, read("=\"a b\" c"), "6:a b"},
            {T, read("=\"a b\"glued c"), "11:a b"}, {T, read("=\"a\"b\tc"), "5:a"},
            {T, read("=\"C:\\d\\x\""), "9:C:\\d\\x"}, {T, read("=\"a\\\" b"), "7:a\" b"},
            {4, read("=abcdef"), "4:abc"}, {4, read("=\"abcdef\""), "5:abc"},
            {4, read("=\"ab\\\"cd\""), "6:ab\""}, {0, read("=a"), "1:"}});
}

// Every "/" or "-" outside a value starts an option; the whole table is tried
// there, in order, each entry once.
TEST(CommandLine, ScanTriesTheTableInOrderAtEveryOption)
{
    const std::string cut(TEXT_SIZE - 1, 'x');
    const struct { std::string tail, summary; } cases[] = {
        {"", "end=2"}, {"-uninstall /INI", "uninstall ini end=2"}, {"/auto=0", "auto_ end=2"},
        {"/startok", "start ok end=2"}, {"/okstart", "ok end=2"},
        {"/installuninstall", "install uninstall end=2"}, {"/uninstallinstall", "uninstall end=2"},
        {"/desktop /retry /no_error /question", "desktop no_error question retry end=2"},
        {"install start /bogus -x /", "end=2"}, {"/name=x foo-ok", "ok end=2 name[x]"},
        {"/ininame=a/ok", "ini end=2 name[a/ok]"}, {"-NAME=a /name Web", "end=2"},
        {"/nameWeb", "end=2 name[Web]"}, {"/END=SysCommand", "end=1"}, {"/end=close", "end=0"},
        {"/end=\"ctrlbreak\"", "end=3"}, {"/end=0-start", "start end=0"},
        {"/end=1x /end=kill /end=closed /end=9 /end= 0", "end=1"},
        {"/exe=\"C:\\P F\\w.exe\"/start", "end=2 exe[C:\\P F\\w.exe]"},
        {"/description=\"A b\" /option=-a -b", "end=2 option[-a] description[A b]"},
        {"\"/option=-a -b\"", "end=2 option[-a]"}, // quoted whole, as some shells pass it
        {"/option=-x -name foo", "end=2 option[-x]"},
        {"/option=\"\x83\\\" /start", "end=2 option[\x83\" /start]"}, // no double-byte walk
        // Values stop at 259 bytes; the later entries are tried at the rest,
        // then it is scanned for options.
        {"/name=" + cut + "description=zz", "end=2 name[" + cut + "] description[zz]"},
        {"/option=" + cut + "name=zz", "end=2 option[" + cut + "]"},
        {"/name=" + cut + "yy-ok/start", "start ok end=2 name[" + cut + "]"},
        {"/description=\"" + cut + "\"/start", "start end=2 description[" + cut + "]"}};
    for (const auto &c : cases) {
        CommandFlags flags;
        CollectedValues values;
        ScanCommandLine(c.tail.c_str(), &flags, &values);
        EXPECT_EQ(c.summary, Summary(flags, values)) << c.tail;
    }
}

// From the command line for an install or uninstall without /ini, fields not
// given at their defaults; otherwise gSettings is left to LoadSettings.
TEST(CommandLine, ParseTakesTheCommandLineOnlyToInstallOrUninstallWithoutIni)
{
    const struct { const char *tail; int loads; const char *settings; } cases[] = {
        {"/start /name=x", 1, "desktop start end=7 name[old]"},
        {"/install /ini /name=x", 1, "install ini desktop end=7 name[old]"},
        {"/uninstall -ini", 1, "uninstall ini desktop end=7 name[old]"},
        {"-uninstall /retry", 0, "uninstall retry end=2"},
        {"/install /uninstall /desktop /end=0", 0, "install uninstall desktop end=0"},
        {"/install /name=N /exe=\"C:\\P F\\w.exe\" /option=-p /description=D /auto /ok", 0,
         "install auto_ ok end=2 name[N] exe[C:\\P F\\w.exe] option[-p] description[D]"}};
    for (const auto &c : cases) {
        gLoads = 0;
        gSettings = ServiceSettings{"", "", "old", "", 7, 0, 1, 0};
        ParseCommandLine(c.tail);
        EXPECT_EQ(c.loads, gLoads) << c.tail;
        EXPECT_EQ(c.settings, Summary(gFlags, gSettings)) << c.tail;
    }
}

// A path with a blank goes in quotes unless it already is; a line that does not
// fit is not formed at all (a cut one would run other options). The child's
// folder is its path cut at the last backslash.
TEST(ChildCommand, PathsWithABlankAreQuotedAndResultsFitWhole)
{
    const std::string p(200, 'p'), opt(100, 'o'), spaced = "C:\\A B\\" + std::string(193, 'p');
    const auto line = [](std::string exe, std::string option) {
        return W(FormChildCommandLine(o, n, exe.c_str(), option.c_str())); };
    const auto binary = [](std::string path) {
        return W(FormServiceBinaryPath(o, n, path.c_str())); };
    const auto folder = [](const char *exe) { return V(FormChildWorkingDirectory(o, n, exe)); };
    Expect({{T, line("C:\\a\\b.exe", ""), "1:C:\\a\\b.exe "}, {7, line("\t.exe", ""), "1:\t.exe "},
            {T, line("C:\\P F\\b.exe", "-x"), "1:\"C:\\P F\\b.exe\" -x"},
            {T, line("\"C:\\P F\\b.exe\"", ""), "1:\"C:\\P F\\b.exe\" "},
            {302, line(p, opt), "1:" + p + " " + opt}, {301, line(p, opt), "0:"},
            {304, line(spaced, opt), "1:\"" + spaced + "\" " + opt}, {303, line(spaced, opt), "0:"},
            {0, line("a", ""), "0:"}, {9, binary("C:\\t.exe"), "1:C:\\t.exe"},
            {0, W(ChildCommandLineFits(spaced.c_str(), opt.c_str() + 44)), "1:"},
            {0, W(ChildCommandLineFits(spaced.c_str(), opt.c_str() + 43)), "0:"},
            {15, binary("C:\\A B\\t.exe"), "1:\"C:\\A B\\t.exe\""},
            {14, binary("C:\\A B\\t.exe"), "0:"}, {T, binary(std::string(T, 'p')), "0:"},
            {11, folder("C:\\a\\b.exe"), "0:C:\\a"}, {6, folder("b.exe"), "0:b.exe"},
            {13, folder("C:\\d" SO "\\b.exe"), "0:C:\\d" SO}, {11, folder("C:\\" SO "b.exe"), "0:C:"},
            {14, folder("\"C:\\P F\\b.exe\""), "0:C:\\P F"},
            {6, folder("C:\\ab\\c.exe"), "0:C:"}, {0, folder("C:\\x\\a.exe"), "0:"}});
}

} // namespace
