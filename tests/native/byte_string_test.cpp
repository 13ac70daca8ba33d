// Table-driven tests of the byte-string logic that tavi.exe shares with this host build.
#include "launcher/command_line.h"
#include "scm/service_path.h"
#include "service/child_command.h"
#include "settings/option_store.h"
#include <gtest/gtest.h>
#include <string.h>

static int gLoads; // the settings file needs Windows; here loading only counts
void LoadSettings(void) { gLoads++; }
int SaveSettings(void) { return 1; }
#define SO "\x83\x5C" // katakana "so": its second byte is the code of a backslash
#define W(call) [&](char *o [[maybe_unused]], size_t n [[maybe_unused]]) { return (int)(call); }
#define V(call) W((call, 0)) // W: a call writing into block o of n bytes; V: one with no result
static const size_t T = TEXT_SIZE;

// Runs write on a heap block of exactly size bytes, full of '#', so ASan sees a byte written past it
// and a '#' shows what was left unwritten; gives "result:text".
template <class Write> static std::string Block(size_t size, Write write)
{
    std::unique_ptr<char[]> block(new char[size]);
    const int result = write((char *)memset(block.get(), '#', size), size);
    return std::to_string(result) + ":" + std::string(block.get(), strnlen(block.get(), size));
}

static void Expect(const std::vector<std::pair<std::string, std::string>> &rows) // {got, wanted}
{
    for (size_t i = 0; i < rows.size(); i++)
        EXPECT_EQ(rows[i].second, rows[i].first) << "row " << i;
}

// The flags set, in table order, and the stop method; then "|name|exe|option|description" without
// empty ones at the end, read no further than their buffers. Of collected or stored values alike.
#define F(from, x) std::string(from.x ? #x " " : "")
template <class Values> static std::string Summary(const CommandFlags &f, const Values &v)
{
    std::string s = F(f, install) + F(f, uninstall) + F(f, ini) + F(v, desktop) + F(v, auto_) + F(f, start);
    s += F(f, no_error) + F(f, ok) + F(f, question) + F(v, retry) + "end=" + std::to_string(v.end);
    for (const char *text : {v.name, v.exe, v.option, v.description})
        s += "|" + std::string(text, strnlen(text, T));
    return s.erase(s.find_last_not_of('|') + 1);
}

// Paths and escapes are walked as Shift_JIS; a result fits exactly its room, one byte less gives 0 and,
// but from CopyText, the empty text. Settings are stored only when every text reads back whole. A path
// with a blank goes in quotes unless it already is; a cut command line would run other options.
TEST(Text, PathsEscapesSettingsAndCommandLines)
{
    using S = ServiceSettings;
    const auto base = [](const char *p) { return Block(T, V(BaseNameWithoutExtension(o, n, p))); };
    const auto ext = [](const char *p) { return FindExtension(p) + std::to_string(HasProgramExtension(p)); };
    const auto esc = [](size_t size, const char *p) { return Block(size, W(EscapeValue(o, n, p))); };
    const auto unesc = [](size_t size, const char *e) { return Block(size, W(UnescapeValue(o, n, e))); };
    const auto decode = [](int encoded) { return Block(T, V(DecodeStoredOption(o, n, R"(\\\")", encoded))); };
    const auto can = [](char(S::*f)[T], std::string t, S s = {}) {
        return Block(0, W(CopyText(s.*f, T, t.c_str()) && SettingsCanBeStored(&s))); };
    const auto line = [](size_t k, const char *p) { return Block(k, W(FormChildCommandLine(o, n, p, "x"))); };
    const auto binary = [](size_t k, const char *p) { return Block(k, W(FormServiceBinaryPath(o, n, p))); };
    const auto folder = [](const char *exe) { return Block(T, V(FormChildWorkingDirectory(o, n, exe))); };
    Expect({{Block(6, V((memcpy(o, R"(\d\)" SO, n), CutAtLastBackslash(o)))), R"(0:\d)"},
            {base("D:a.b.c"), "0:a"}, {base(R"(C:\d\)" SO ".exe"), "0:" SO}, {ext(".exe"), ".exe0"},
            {ext("exe"), "exe1"}, {ext("a.Bat"), "Bat1"}, {ext("x.exe.txt"), "txt0"},
            {ext(R"(a.b\exe)"), "0"}, {ext("a.b/exe"), "0"}, {ext("a.b:exe"), "0"},
            {Block(4, W(CopyText(o, n, "abc"))), "1:abc"}, {Block(3, W(CopyText(o, n, "abc"))), "0:ab"},
            {esc(7, SO R"(\")"), "1:" SO R"(\\\")"}, {esc(6, SO R"(\")"), "0:"},
            {unesc(5, SO R"(\\\")"), "1:" SO R"(\")"}, {unesc(4, SO R"(\\\")"), "0:"},
            {unesc(7, R"(a\b c\)"), R"(1:a\b c\)"}, {decode(1), R"(0:\")"}, {decode(0), R"(0:\\\")"},
            {can(&S::exe, "\x83\x83"), "1:"}, {can(&S::option, std::string(130, '\\')), "0:"},
            {can(&S::exe, "a\r"), "0:"}, {can(&S::name, "\n"), "0:"},
            {can(&S::description, "\x83\x83\x83"), "0:"}, {line(8, "a.exe"), "1:a.exe x"},
            {line(7, "a.exe"), "0:"}, {line(12, "a b.exe"), "1:\"a b.exe\" x"}, {line(11, "a b.exe"), "0:"},
            {line(T, "\"a b\""), "1:\"a b\" x"}, {Block(T, W(FormChildCommandLine(o, n, "a", ""))), "1:a "},
            {binary(4, "a.b"), "1:a.b"}, {binary(3, "a.b"), "0:"}, {binary(6, "a b"), "1:\"a b\""},
            {binary(5, "a b"), "0:"}, {folder(R"(C:\a\b.exe)"), R"(0:C:\a)"},
            {folder(R"("C:\P F\b.exe")"), R"(0:C:\P F)"}});
}

// At every "/" or "-" outside a value the whole table is tried in order; values are read byte-wise and
// cut at 259 bytes. The command line is taken only to install or uninstall without /ini.
TEST(CommandLine, ReadScanAndParse)
{
    const std::string x259(259, 'x');
    const auto read = [](size_t size, const char *s) { return Block(size, W(ReadOptionValue(o, s, n) - s)); };
    const auto scan = [](std::string tail, CommandFlags f = {}, CollectedValues v = {}) {
        return ScanCommandLine(tail.c_str(), &f, &v), Summary(f, v); };
    const auto parse = [](const char *tail) {
        gLoads = 0, gSettings = ServiceSettings{"", "", "old", "", 7, 0, 1, 0}, ParseCommandLine(tail);
        return std::to_string(gLoads) + " " + Summary(gFlags, gSettings); };
    Expect({{read(T, "=abc def"), "4:abc"}, {read(T, "abc\tx"), "3:abc"},
            {read(T, "=\"a b\"glued c"), "11:a b"}, {read(T, R"(="C:\d\" b)"), R"(10:C:\d" b)"},
            {read(4, "=abcdef"), "4:abc"}, {read(4, R"(="ab\"cd")"), "6:ab\""},
            {scan("/startok"), "start ok end=2"}, {scan("/okstart"), "ok end=2"},
            {scan("/installuninstall"), "install uninstall end=2"},
            {scan("/uninstallinstall"), "uninstall end=2"},
            {scan("/auto=0 /desktop /retry"), "desktop auto_ retry end=2"},
            {scan("-INI /no_error /question"), "ini no_error question end=2"},
            {scan("/nameWeb"), "end=2|Web"}, {scan("-NAME=a /name Web"), "end=2"},
            {scan("install /name=x foo-ok /option=-start"), "ok end=2|x||-start"},
            {scan("/END=SysCommand"), "end=1"}, {scan("/end=0-start"), "start end=0"},
            {scan("/end=ctrlbreak /end=kill /end=closed /end=9 /end= 0"), "end=3"},
            {scan("/option=\"" SO "\" /start"), "end=2|||\x83\" /start"},
            {scan("/name=" + x259 + "description=zz"), "end=2|" + x259 + "|||zz"},
            {scan("/name=" + x259 + "yy-ok/start"), "start ok end=2|" + x259},
            {parse("/start /name=x"), "1 desktop start end=7|old"},
            {parse("/install /ini"), "1 install ini desktop end=7|old"},
            {parse("-uninstall /retry"), "0 uninstall retry end=2"},
            {parse("/install /nameN /exeE /optionO /descriptionD /auto"), "0 install auto_ end=2|N|E|O|D"}});
}
