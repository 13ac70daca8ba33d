// Table-driven tests of the byte-string logic that tavi.exe shares with this host build.
#include "launcher/command_line.h"
#include "scm/service_path.h"
#include "service/child_command.h"
#include "settings/option_store.h"
#include <gtest/gtest.h>
static int gLoads; // the settings file needs Windows; here loading only counts
void LoadSettings(void) { gLoads++; }
#define SO "\x83\x5C" // katakana "so": its second byte is the code of a backslash
#define W(call) [&](char *o, size_t n) { return (void)o, (void)n, (int)(call); } // call writes in o, n bytes
static const size_t T = TEXT_SIZE;

// Runs write on an exact-size heap block (for ASan) full of '#', to show what is left; gives "result:text".
template <class Write> static std::string Block(size_t size, Write write)
{
    std::vector<char> b(size, '#');
    const std::string result = std::to_string(write(b.data(), size)) + ":";
    return result + std::string(b.begin(), std::find(b.begin(), b.end(), '\0'));
}
static void Expect(const std::vector<std::pair<std::string, std::string>> &rows) // {got, wanted}
{
    for (size_t i = 0; i < rows.size(); i++) EXPECT_EQ(rows[i].second, rows[i].first) << "row " << i;
}
// The flags set in table order, the stop method, then "|name|exe|option|description" less empty ones at the end.
#define F(from, x) std::string(from.x ? #x " " : "")
template <class Values> static std::string Summary(const CommandFlags &f, const Values &v)
{
    std::string s = F(f, install) + F(f, uninstall) + F(f, ini) + F(v, desktop) + F(v, auto_) + F(f, start);
    s += F(f, no_error) + F(f, ok) + F(f, question) + F(v, retry) + "end=" + std::to_string(v.end);
    for (const char *t : {v.name, v.exe, v.option, v.description})
        s += "|" + std::string(t, std::find(t, t + T, '\0'));
    return s.erase(s.find_last_not_of('|') + 1);
}

// Paths are walked as Shift_JIS: a second byte that is a backslash or a dot splits nothing. A line formed
// fits exactly its room; one byte less gives 0 and the empty text, as a cut command line would run other options.
TEST(ByteStrings, PathsAndTheLinesFormedFromThem)
{
    const auto ext = [](const char *p) { return FindExtension(p) + std::to_string(HasProgramExtension(p)); };
    const auto folder = [](const char *exe) { return Block(T, W((FormChildWorkingDirectory(o, n, exe), 0))); };
    const auto fits = [](size_t k) { return std::to_string(ChildCommandLineFits("a b.exe", std::string(k, 'o').c_str())); };
    const auto line = [](size_t k, const char *p) { return Block(k, W(FormChildCommandLine(o, n, p, "x"))); };
    const auto binary = [](size_t k, const char *p) { return Block(k, W(FormServiceBinaryPath(o, n, p))); };
    Expect({{Block(T, W((BaseNameWithoutExtension(o, n, "D:" SO "a.b.c"), 0))), "0:" SO "a"},
            {ext(".exe"), ".exe0"}, {ext("a.b.Bat"), "Bat1"}, {ext(R"(a.b\c)"), "0"},
            {folder(R"(C:\a\b.exe)"), R"(0:C:\a)"}, {folder("b.exe"), "0:"}, {folder(R"("C:\P F\)" SO R"(b.exe")"), R"(0:C:\P F)"},
            {fits(249) + fits(250), "10"}, // 259 bytes, not 260
            {line(12, "a b.exe"), "1:\"a b.exe\" x"}, {line(11, "a b.exe"), "0:"}, {binary(5, "a b"), "0:"},
            {line(T, "\"a b\""), "1:\"a b\" x"}, {binary(4, "a.b"), "1:a.b"}, {binary(6, "a b"), "1:\"a b\""}});
}
// Settings are stored only if they would read back whole; an escaped option round-trips, and one that does
// not fit is cut after a whole character, never left escaped.
TEST(ByteStrings, SettingsStoredWhole)
{
    using S = ServiceSettings;
    const auto can = [](char(S::*f)[T], std::string t, S s = {}) {
        return std::to_string(CopyText(s.*f, T, t.c_str()) && SettingsCanBeStored(&s)); };
    const auto decode = [](int encoded) { return Block(T, W((DecodeStoredOption(o, n, R"(\\\")", encoded), 0))); };
    const auto cut = [](std::string s) { return Block(T, W((DecodeStoredOption(o, n, s.c_str(), 1), 0))); };
    const std::string a258(258, 'a');
    Expect({{can(&S::exe, "\x83\x83"), "1"}, {can(&S::exe, "a\r"), "0"}, {can(&S::name, "\n"), "0"},
            {can(&S::option, std::string(130, '\\')), "0"}, {can(&S::description, "\x83\x83\x83"), "0"},
            {Block(7, W(EscapeValue(o, n, SO R"(\")"))), "1:" SO R"(\\\")"}, {decode(1), R"(0:\")"},
            {Block(7, W(UnescapeValue(o, n, R"(a\b c\)"))), R"(1:a\b c\)"}, {decode(0), R"(0:\\\")"},
            {cut(R"(\\)" + a258 + "b"), R"(0:\)" + a258}, {cut(a258 + SO "b"), "0:" + a258}});
}
// At every "/" or "-" outside a value the whole option table is tried in order; values are read byte-wise
// and cut at 259 bytes. The command line is taken only to install or uninstall without /ini.
TEST(ByteStrings, CommandLines)
{
    const auto read = [](size_t k, const char *s) { return Block(k, W(ReadOptionValue(o, s, n) - s)); };
    const auto scan = [](std::string tail, CommandFlags f = {}, CollectedValues v = {}) {
        return ScanCommandLine(tail.c_str(), &f, &v), Summary(f, v); };
    const auto parse = [](const char *tail) { gLoads = 0, gSettings = {"", "", "o", "", 7, 0, 0, 0};
        return ParseCommandLine(tail), std::to_string(gLoads) + " " + Summary(gFlags, gSettings); };
    Expect({{read(T, "=\"a b\"glued c"), "11:a b"}, {read(T, R"(="C:\d\" b)"), R"(10:C:\d" b)"},
            {read(T, "=abc\tx"), "4:abc"}, {read(4, "=abcdef"), "4:abc"}, {scan("/startok"), "start ok end=2"},
            {scan("/okstart"), "ok end=2"}, {scan("-NAME=a /name b"), "end=2"}, {scan("/END=SysCommand"), "end=1"},
            {scan("/end=ctrlbreak /end=closed /end=9 /end= 0"), "end=3"},
            {scan("-INI /auto=0 /desktop /retry"), "ini desktop auto_ retry end=2"},
            {scan("/question /no_error"), "no_error question end=2"}, {scan("\"/option=-a b\""), "end=2|||-a"},
            {scan("install /name=x foo-ok /option=-start /end=0-start"), "start ok end=0|x||-start"},
            {scan("/option=\"" SO "\" /start"), "end=2|||\x83\" /start"},
            {scan("/name=" + std::string(259, 'x') + "description=z"), "end=2|" + std::string(259, 'x') + "|||z"},
            {parse("/install /ini"), "1 install ini end=7|o"}, {parse("/start /name=x"), "1 start end=7|o"},
            {parse("-uninstall /retry /desktop"), "0 uninstall desktop retry end=2"},
            {parse("/install /nameN /exeE /optionO /descriptionD /auto"), "0 install auto_ end=2|N|E|O|D"}});
}
