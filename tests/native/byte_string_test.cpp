// Unit tests of the byte-string logic that tavi.exe shares with this host build. Each behaviour
// is a table, one case a line: a call, and what it should give. Calls that write run on a heap
// block of exactly the size given, so that AddressSanitizer catches a write past it.
#include "launcher/command_line.h"
#include "scm/service_path.h"
#include "service/child_command.h"
#include "service/relaunch_pause.h"
#include "settings/account.h"
#include "settings/environment.h"
#include "settings/log_names.h"
#include "settings/option_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>
#include <string>
#include <vector>

void LoadSettings(void)
{
} // the settings file needs Windows

#define SO "\x83\x5C"    // katakana "so": its second byte is the code of a backslash
#define HYO "\x95\x5C"   // the kanji "hyo" (table), second byte 0x5C too
#define KAN9F "\x9F\x5C" // a kanji led by 0x9F, the last lead byte below 0xE0, the same
static const size_t T = TEXT_SIZE;
static const std::string kLong259(259, 'x'), kLong260(260, 'x');

// Calls f(out, size, args...) on a heap block of exactly size bytes filled with '#'; gives
// "result:text", the text up to its terminator (or the whole block); 0 for a void f.
template <class F, class... Args>
static std::string Write(size_t size, F f, Args... args)
{
    std::vector<char> block(size, '#');
    int result = 0;
    if constexpr (std::is_void_v<decltype(f(block.data(), size, args...))>)
        f(block.data(), size, args...);
    else
        result = (int)f(block.data(), size, args...);
    return std::to_string(result) + ":" +
           std::string(block.begin(), std::find(block.begin(), block.end(), '\0'));
}

static std::string LeadBytes(const std::string &bytes)
{
    std::string flags;
    for (unsigned char byte : bytes)
        flags += IsLeadByte(byte) ? '1' : '0';
    return flags;
}

static std::string Cut(const char *path)
{
    std::string text = path;
    CutAtLastBackslash(&text[0]);
    return text.c_str();
}

// The extension found, then 1 when it is a program's.
static std::string Extension(const char *path)
{
    return FindExtension(path) + std::to_string(HasProgramExtension(path));
}

// Lead bytes at both ends of their ranges; copies and escapes at their limits and one past.
TEST(Text, BytesAndLimits)
{
    EXPECT_EQ(LeadBytes("\x80\x81\x9F\xA0\xDF\xE0\xFC\xFD"), "01100110");
    EXPECT_TRUE(TextEqualI("Az", "aZ"));
    EXPECT_FALSE(TextEqualI("@[", "`{")); // only A-Z fold
    EXPECT_TRUE(TextEqualNI("INSTALLnow", "install", 7));
    EXPECT_EQ(Write(T, CopyText, kLong259.c_str()), "1:" + kLong259);
    EXPECT_EQ(Write(T, CopyText, kLong260.c_str()), "0:" + kLong259);
    EXPECT_EQ(Write(1, CopyText, "a"), "0:");
    EXPECT_EQ(Write(7, EscapeValue, SO R"(\")"), "1:" SO R"(\\\")");
    EXPECT_EQ(Write(6, EscapeValue, SO R"(\")"), "0:");
    EXPECT_EQ(Write(3, UnescapeValue, R"(\\a)"), R"(1:\a)");
    EXPECT_EQ(Write(2, UnescapeValue, R"(\\a)"), "0:");
    EXPECT_EQ(Write(T, UnescapeValue, R"(a\b c\)"), R"(1:a\b c\)");
    EXPECT_EQ(Write(T, UnescapeValue, SO R"(\\\")"), "1:" SO R"(\")");
}

// Paths are walked as Shift_JIS: a second byte that is a backslash splits nothing.
TEST(Text, PathsWalkedAsShiftJis)
{
    EXPECT_EQ(Cut(R"(C:\dir\app.exe)"), R"(C:\dir)");
    EXPECT_EQ(Cut(R"(C:\app.exe)"), "C:");
    EXPECT_EQ(Cut("app.exe"), "app.exe");
    EXPECT_EQ(Cut(R"(C:\)" SO R"(\a.exe)"), R"(C:\)" SO);
    EXPECT_EQ(Cut(R"(C:\dir)" SO "a.exe"), "C:");
    EXPECT_EQ(Cut("C:/dir/app.exe"), "C:/dir/app.exe");
    EXPECT_EQ(Write(T, BaseNameWithoutExtension, R"(C:\tools\my.server.exe)"), "0:my");
    EXPECT_EQ(Write(T, BaseNameWithoutExtension, "D:app.exe"), "0:app");
    EXPECT_EQ(Write(T, BaseNameWithoutExtension, R"(C:\)" SO "a.b"), "0:" SO "a");
    EXPECT_EQ(Write(T, BaseNameWithoutExtension, "C:/dir/app.exe"), "0:/dir/app");
    EXPECT_EQ(Write(T, BaseNameWithoutExtension, ".exe"), "0:");
    EXPECT_EQ(Extension(R"(C:\a\b.exe)"), "exe1");
    EXPECT_EQ(Extension(R"(C:\a.b\prog)"), "0");
    EXPECT_EQ(Extension("app."), "0");
    EXPECT_EQ(Extension("exe"), "exe1");
    EXPECT_EQ(Extension(".exe"), ".exe0");
    EXPECT_EQ(Extension(""), "0");
}

static std::string Stored(const std::string &option)
{
    return Write(STORED_OPTION_SIZE,
                 [&](char *out, size_t) { return FormatStoredOption(out, option.c_str()); });
}

// Empty texts, and the numbers at their defaults.
static ServiceSettings Defaults()
{
    ServiceSettings settings = {};
    for (const SettingKey &key : kKeys)
        if (key.kind == KEY_NUMBER)
            settings.*key.number = key.fallback;
    return settings;
}

// Whether settings with this one text changed can be stored whole.
static std::string CanStore(char (ServiceSettings::*field)[TEXT_SIZE], const std::string &text)
{
    ServiceSettings settings = Defaults();
    CopyText(settings.*field, T, text.c_str());
    return std::to_string(SettingsCanBeStored(&settings));
}

// Whether settings can be stored with key i set to value, the others at their defaults.
static std::string CanStoreNumber(int i, int value)
{
    ServiceSettings settings = Defaults();
    settings.*kKeys[i].number = value;
    return std::to_string(SettingsCanBeStored(&settings));
}

// Settings are stored only when they read back whole; an option is escaped and quoted, and one
// longer than its field (only by hand) is cut after a whole character, never left escaped.
TEST(Settings, StoredWhole)
{
    const std::string a258(258, 'a'), backslashes129(129, '\\'), cut = R"(\\)" + a258 + "b";
    EXPECT_EQ(Stored(backslashes129 + "a"), "1:\"" + backslashes129 + backslashes129 + "a\"");
    EXPECT_EQ(Stored(backslashes129 + "ab"), "0:");
    EXPECT_EQ(CanStore(&ServiceSettings::exe, "\x83\x83"), "1");
    EXPECT_EQ(CanStore(&ServiceSettings::exe, "a\r"), "0");
    EXPECT_EQ(CanStore(&ServiceSettings::name, "\n"), "0");
    EXPECT_EQ(CanStore(&ServiceSettings::option, std::string(130, '\\')), "0");
    EXPECT_EQ(CanStore(&ServiceSettings::description, "\x83\x83\x83"), "0");
    EXPECT_EQ(CanStore(&ServiceSettings::log, "w.log\n"), "0");
    EXPECT_EQ(CanStoreNumber(K_LOGSIZE, 0), "1");
    EXPECT_EQ(CanStoreNumber(K_LOGSIZE, -1), "0");
    EXPECT_EQ(CanStoreNumber(K_LOGKEEP, -1), "0");
    EXPECT_EQ(CanStoreNumber(K_RETRYMAX, -1), "0");
    EXPECT_EQ(CanStoreNumber(K_STOPTIME, 0), "0"); // stoptime starts at 1
    EXPECT_EQ(CanStoreNumber(K_STOPTIME, 1), "1");
    EXPECT_EQ(Write(T, DecodeStoredOption, R"(\\\")", 1), R"(0:\")");
    EXPECT_EQ(Write(T, DecodeStoredOption, R"(\\\")", 0), R"(0:\\\")");
    EXPECT_EQ(Write(T, DecodeStoredOption, cut.c_str(), 1), R"(0:\)" + a258);
    EXPECT_EQ(Write(T, DecodeStoredOption, (a258 + SO "b").c_str(), 1), "0:" + a258);
}

// The scan of a tail: the flags set in table order, the stop method, then "|name|exe|option|
// description|log|logsize|logkeep|retrymax|stoptime|env" without the empty texts at its end, and
// "|account=", "|password=" when given, "|cut" when either was longer than 259 bytes.
static std::string Scan(const std::string &tail)
{
    CommandFlags f;
    static CollectedValues c;
    ScanCommandLine(tail.c_str(), &f, &c);
    const ServiceSettings &v = c.settings;
    const std::pair<int, const char *> flags[] = {
        {f.install, "install "},   {f.uninstall, "uninstall "},
        {f.ini, "ini "},           {v.desktop, "desktop "},
        {v.auto_, "auto "},        {f.start, "start "},
        {f.no_error, "no_error "}, {f.ok, "ok "},
        {f.question, "question "}, {v.retry, "retry "}};
    std::string s;
    for (const auto &flag : flags)
        s += flag.first ? flag.second : "";
    s += "end=" + std::to_string(v.end);
    for (const char *text : {v.name, v.exe, v.option, v.description, v.log})
        s += "|" + std::string(text);
    for (int i : {K_LOGSIZE, K_LOGKEEP, K_RETRYMAX, K_STOPTIME})
        s += "|" + std::string(c.numbers[i]);
    s += "|";
    for (const char *line = v.env; *line != '\0'; line += strlen(line) + 1)
        s += std::string(line) + ";";
    s += v.envWhole ? "" : "!";
    const Credentials &k = c.credentials;
    s += c.given >> K_ACCOUNT & 1 ? "|account=" + std::string(v.account) : "";
    s += k.passwordGiven ? "|password=" + std::string(k.password) : "";
    s += k.cut || c.cut >> K_ACCOUNT & 1 ? "|cut" : "";
    s += v.noretry[0] != '\0' ? "|noretry=" + std::string(v.noretry) : "";
    return s.erase(s.find_last_not_of('|') + 1);
}

// At every "/" or "-" outside a value the whole option table is tried in order. Values are read
// byte-wise: quoted with \" for a quote (text glued to the closing quote is passed over), or up to
// a blank or a tab; cut at 259 bytes, their remainder scanned for options.
TEST(CommandLine, OptionsInTableOrder)
{
    EXPECT_EQ(Scan("/startok"), "start ok end=2");
    EXPECT_EQ(Scan("/okstart"), "ok end=2");
    EXPECT_EQ(Scan("-NAME=a /name b"), "end=2");
    EXPECT_EQ(Scan("/END=SysCommand"), "end=1");
    EXPECT_EQ(Scan("/end=ctrlbreak /end=closed /end=9 /end= 0"), "end=3");
    EXPECT_EQ(Scan("-INI /auto=0 /desktop\t/retry"), "ini desktop auto retry end=2");
    EXPECT_EQ(Scan("/question /no_error"), "no_error question end=2");
    EXPECT_EQ(Scan("\"/option=-a\tb\""), "end=2|||-a");
    EXPECT_EQ(Scan("/name=\"a b\"glued /exe=\"C:\\d\\\" b\""), "end=2|a b|C:\\d\" b");
    EXPECT_EQ(Scan("install /name=x foo-ok /option=-start /end=0-start"),
              "start ok end=0|x||-start");
    // A quoted value ending in a character whose second byte is 0x5C ends at its quote.
    EXPECT_EQ(Scan("/description=\"" HYO "\" /retry /auto"), "auto retry end=2||||" HYO);
    EXPECT_EQ(Scan("/option=\"" SO "\" /start"), "start end=2|||" SO);
    EXPECT_EQ(Scan("/env=\"A=" KAN9F "\" /env=B=1"), "end=2||||||||||A=" KAN9F ";B=1;");
    EXPECT_EQ(Scan("/log=\"" HYO "\" /logkeep=3"), "end=2|||||" HYO "||3");
    EXPECT_EQ(Scan("/exe=\"C:\\" SO "\" /name=n"), "end=2|n|C:\\" SO);
    EXPECT_EQ(Scan("/name=\"" HYO "\\\"" SO "\\\"\""), "end=2|" HYO "\"" SO "\"");
    EXPECT_EQ(Scan("/name=" + kLong259 + " /exe=y"), "end=2|" + kLong259 + "|y");
    EXPECT_EQ(Scan("/name=" + kLong259 + "description=z"), "end=2|" + kLong259 + "|||z");
    EXPECT_EQ(Scan("/logsize=7 /logkeep=0 /log=\"a b.log\""), "end=2|||||a b.log|7|0");
    EXPECT_EQ(Scan("/retrymax=5 /stoptime=9"), "end=2||||||||5|9"); // and no /retry
    EXPECT_EQ(Scan("/env=A=1 -ENV=\"B=a b\" /env=C= /envX"), "end=2||||||||||A=1;B=a b;C=;X;");
    EXPECT_EQ(Scan("/env= /env=" + std::string(ENV_SECTION_SIZE - 1, 'x')), "end=2||||||||||!");
    EXPECT_EQ(Scan("/account=virtual /password=p\"w"),
              "end=2|||||||||||account=virtual|password=p\"w");
    EXPECT_EQ(Scan("/account= /password="), "end=2|||||||||||account=|password=");
    EXPECT_EQ(Scan("/account=\"D\\u " HYO "\" /retry"), "retry end=2|||||||||||account=D\\u " HYO);
    EXPECT_EQ(Scan("/account=" + kLong259), "end=2|||||||||||account=" + kLong259);
    EXPECT_EQ(Scan("/account=\"" + kLong259 + "\""), "end=2|||||||||||account=" + kLong259);
    EXPECT_EQ(Scan("/password=" + kLong260), "end=2|||||||||||password=" + kLong259 + "|cut");
    EXPECT_EQ(Scan("/noretry=0,3 /no_error"), "no_error end=2|||||||||||noretry=0,3");
}

// A list written with "|" for each NUL; the list's end is added.
static std::string List(const std::string &lines)
{
    std::string list = lines;
    std::replace(list.begin(), list.end(), '|', '\0');
    return lines.empty() ? std::string(1, '\0') : list + '\0' + '\0';
}

// The block formed in exactly size bytes, "result:" then its entries with "|" after each; the
// line found when it is no variable.
static std::string Formed(const std::string &own, const std::string &section,
                          size_t size = ENV_BLOCK_SIZE)
{
    std::vector<char> block(size, '#');
    int line = 0;
    int result = FormEnvironment(block.data(), size, List(own).data(), List(section).data(), &line);
    std::string entries = std::to_string(result) + ":";
    for (const char *e = block.data(); result == ENV_FORMED && *e != '\0'; e += strlen(e) + 1)
        entries += std::string(e) + "|";
    return entries + (line ? std::to_string(line) : "");
}

// Lines added to the list and whether they can be stored; the block: tavi's own variables with
// the section's set, replaced in any letter case, removed by an empty value, "%NAME%" expanded
// from own only; a block and a variable at their limits and one past.
TEST(Environment, SectionAndBlock)
{
    const std::string x32765(32765, 'x');
    auto append = [](const char *line) {
        return [line](char *list, size_t size) {
            list[0] = '\0';
            return AppendEnvLine(list, size, line);
        };
    };
    EXPECT_EQ(Write(5, append("A=1")), "1:A=1");
    EXPECT_EQ(Write(4, append("A=1")), "0:");
    EXPECT_EQ(Write(5, append("")), "0:");
    const std::pair<const char *, int> lines[] = {
        {"A=1", 1},  {"A=", 1},    {"A=a b", 1}, {"A=" SO, 1}, {"A", 0},
        {"=1", 0},   {" A=1", 0},  {"A\t=1", 0}, {"A= 1", 0},  {"A=1 ", 0},
        {";A=1", 0}, {"[A]=1", 0}, {"A=1\r", 0}, {"A=\n", 0},  {"A=\x83", 0},
    };
    for (const auto &row : lines)
        EXPECT_EQ(EnvLineCanBeStored(row.first), row.second) << row.first;
    const std::string rows[][3] = {
        {"=C:=C:\\|A=1|B=2", "b=3|C=4", "0:=C:=C:\\|A=1|b=3|C=4|"},
        {"Path=C:\\w", "PATH=C:\\n;%path%", "0:PATH=C:\\n;C:\\w|"},
        {"A=1|B=2", "A=|Z=", "0:B=2|"},
        {"A=1", "X=%NOPE%|Y=%A%%A%|Z=50%|W=%%A%", "0:A=1|X=%NOPE%|Y=11|Z=50%|W=%1|"},
        {"", "B=2|C=%B%|S=" SO "\\", "0:B=2|C=%B%|S=" SO "\\|"},
        {"", "A=1|A=2|B=1|b=", "0:A=2|"},
        {"\x83\x41=1", "\x83\x61=2", "0:\x83\x41=1|\x83\x61=2|"}, // second bytes kept
        {"A=1", ";c|B=2", "0:A=1|B=2|"},
        {"", "", "0:"},
        {"A=1", "B=2|C", "2:2"},
        {"A=1", "=x", "2:1"},
        {"", "V=" + x32765, "0:V=" + x32765 + "|"},
        {"", "V=x" + x32765, "1:"},
        {"X=" + std::string(16383, 'x'), "V=%X%%X%", "1:"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Formed(row[0], row[1]), row[2]) << row[1];
    std::string trimmed = List(" A = a b |;c |x | B\t=|C=");
    TrimEnvLines(&trimmed[0]);
    EXPECT_EQ(trimmed.substr(0, EnvListLength(trimmed.data())), List("A=a b|;c|x|B=|C="));
    EXPECT_EQ(Formed("A=1", "B=2", 9), "0:A=1|B=2|");
    EXPECT_EQ(Formed("A=1", "B=2", 8), "1:");
    EXPECT_EQ(Formed("", "", 2), "0:");
}

// Quick ends counted; the pause before a relaunch after quick ends in a row: none for three, then
// doubling from 1 s, never past retrymax; none at all with retrymax 0.
TEST(Relaunch, PausesGrowToRetrymax)
{
    const int rows[][3] = {
        {3, 60, 0}, // quick ends in a row, retrymax, the pause
        {4, 60, 1000},       {9, 60, 32000}, {10, 60, 60000}, {1000, 60, 60000},
        {4, 0, 0},           {1000, 0, 0},   {6, 2, 2000},    {15, 3600, 2048000},
        {16, 3600, 3600000}, {5, 1, 1000},   {6, 3, 3000}, // the doubling reaches retrymax + 1:
                                                           // capped
    };
    for (const auto &row : rows)
        EXPECT_EQ(RelaunchPauseMs(row[0], row[1]), (unsigned)row[2]) << row[0] << " " << row[1];
    EXPECT_EQ(NextQuickCount(2, 9999), 3);  // a quick run: one more in the row
    EXPECT_EQ(NextQuickCount(7, 10000), 0); // one that lasted 10 s ends the row
}

// The codes of a list, "count:code,code,", or -1 for a list that cannot be read.
static std::string Codes(const std::string &text)
{
    unsigned long codes[EXIT_CODES_MOST];
    int count = ParseExitCodes(text.c_str(), codes);
    std::string s = std::to_string(count) + ":";
    for (int i = 0; i < count; i++)
        s += std::to_string(codes[i]) + ",";
    return s;
}

// Up to 16 decimal codes of 32 bits, comma-separated, nothing else; given empty on the command
// line, a list is refused as an empty item.
TEST(Relaunch, ExitCodesThatEndTheService)
{
    std::string sixteen = "1", seventeen;
    for (int i = 2; i <= 16; i++)
        sixteen += "," + std::to_string(i);
    seventeen = sixteen + ",17";
    EXPECT_EQ(Codes(""), "0:");
    EXPECT_EQ(Codes("0"), "1:0,");
    EXPECT_EQ(Codes("0,3,007"), "3:0,3,7,");
    EXPECT_EQ(Codes("4294967295"), "1:4294967295,");
    EXPECT_EQ(Codes("4294967296"), "-1:");
    EXPECT_EQ(Codes("99999999999999999999999"), "-1:");
    EXPECT_EQ(Codes(sixteen).substr(0, 3), "16:");
    EXPECT_EQ(Codes(seventeen), "-1:");
    for (const char *bad : {",", ",1", "1,", "1,,2", " 1", "1 ", "1, 2", "-1", "+1", "0x1", "a"})
        EXPECT_EQ(Codes(bad), "-1:") << bad;
    EXPECT_EQ(ExitCodeListed("0,3", 3), 1);
    EXPECT_EQ(ExitCodeListed("0,3", 4), 0);
    EXPECT_EQ(ExitCodeListed("3,x", 3), 0); // unreadable: none
    ParseCommandLine("/install /noretry=");
    EXPECT_EQ(std::string(gSettings.noretry), ",");
    ParseCommandLine("/install /noretry=3");
    EXPECT_EQ(std::string(gSettings.noretry), "3");
}

// Ends reported: the first, one per gap (1 min, then 2, 4... up to 1 h) telling those passed over,
// and the first again after a run as long as the gap. An hour of ends every 100 ms makes 6, and
// the gap stops growing at an hour.
TEST(Relaunch, EndsReportedAHandfulAnHour)
{
    EndReports reports = {};
    const unsigned rows[][3] = {
        {1000, 50, 1}, // the tick, the run's length, the ends the report covers (0: none)
        {1100, 50, 0},   {60999, 50, 0},       {61000, 50, 3},      {180999, 50, 0},
        {181000, 50, 2}, {182000, 239999, 0},  {183000, 240000, 2}, {183100, 50, 0},
        {243100, 50, 2}, {4294967000u, 50, 1}, {100, 50, 0}, // across the tick's wrap
    };
    for (const auto &row : rows)
        EXPECT_EQ(ReportEnd(&reports, row[0], row[1]), row[2]) << row[0];
    EndReports hours = {};
    unsigned long reported = 0, covered = 0;
    for (unsigned ms = 0; ms < 4 * 3600000u; ms += 100) {
        unsigned long n = ReportEnd(&hours, ms, 50);
        reported += n > 0 && ms < 3600000;
        covered += n;
    }
    EXPECT_EQ(reported, 6ul);
    EXPECT_EQ(covered + hours.unreported, 4 * 36000ul);
    EXPECT_EQ(hours.gapMs, 3600000u);
}

// Whether the host could start with a program of exe and an option of optionLength bytes.
static std::string CouldStart(const char *exe, size_t optionLength, const std::string &log,
                              int keep)
{
    ServiceSettings settings = {};
    CopyText(settings.exe, T, exe);
    CopyText(settings.option, T, std::string(optionLength, 'o').c_str());
    CopyText(settings.log, T, log.c_str());
    settings.logkeep = keep;
    return std::to_string(SettingsCouldStart(&settings, "C:\\t"));
}

// A path with a blank is quoted, in the command line and in the service's binary path; a line
// that does not fit is refused whole (a cut one would run other options).
TEST(Launch, CommandLinesAndFolders)
{
    const std::string log255 = std::string(255 - 8, 'l') + ".log"; // C:\t\ and .99 make 259
    EXPECT_EQ(Write(12, FormChildCommandLine, "a b.exe", "x"), "1:\"a b.exe\" x");
    EXPECT_EQ(Write(11, FormChildCommandLine, "a b.exe", "x"), "0:");
    EXPECT_EQ(Write(T, FormChildCommandLine, "\"a b\"", "x"), "1:\"a b\" x");
    EXPECT_EQ(CouldStart("a b.exe", 249, "", 5), "1"); // 259 bytes of command line
    EXPECT_EQ(CouldStart("a b.exe", 250, "", 5), "0");
    EXPECT_EQ(CouldStart("a.exe", 1, log255, 99), "1");
    EXPECT_EQ(CouldStart("a.exe", 1, "l" + log255, 99), "0");
    EXPECT_EQ(CouldStart("a.exe", 1, "l" + log255, 9), "1");
    EXPECT_EQ(Write(T, FormChildWorkingDirectory, R"(C:\a\b.exe)"), R"(0:C:\a)");
    EXPECT_EQ(Write(T, FormChildWorkingDirectory, R"("C:\P F\)" SO R"(b.exe")"), R"(0:C:\P F)");
    EXPECT_EQ(Write(T, FormChildWorkingDirectory, "b.exe"), "0:");
    EXPECT_EQ(Write(T, FormChildWorkingDirectory, "\"b.exe\""), "0:");
    EXPECT_EQ(Write(6, FormServiceBinaryPath, "a b"), "1:\"a b\"");
    EXPECT_EQ(Write(5, FormServiceBinaryPath, "a b"), "0:");
    EXPECT_EQ(Write(4, FormServiceBinaryPath, "a.b"), "1:a.b");
    EXPECT_EQ(Write(3, FormServiceBinaryPath, "a.b"), "0:");
    EXPECT_STREQ(StopMethodName(-1), "close");
    EXPECT_STREQ(StopMethodName(3), "ctrlbreak");
    EXPECT_STREQ(StopMethodName(4), "close");
}

static std::string Number(const char *text, int max)
{
    return std::to_string(ParseLogNumber(text, max));
}

static std::string Fits(const char *data, size_t room)
{
    return std::to_string(LogBytesThatFit(data, strlen(data), room));
}

// Rotated names carry their number before the file name's extension; a file is filled up to the
// last whole line that fits.
TEST(Log, NamesNumbersAndRoom)
{
    const std::string w254(254, 'w'), n252(252, 'n'), n256 = n252 + ".log";
    EXPECT_EQ(Number("0", 99), "0");
    EXPECT_EQ(Number("99", 99), "99");
    EXPECT_EQ(Number("100", 99), "-1");
    EXPECT_EQ(Number("2147483647", LOG_SIZE_MAX), "2147483647");
    EXPECT_EQ(Number("2147483648", LOG_SIZE_MAX), "-1");
    EXPECT_EQ(Number("99999999999999999999", LOG_SIZE_MAX), "-1");
    EXPECT_EQ(Number("", 99), "-1");
    EXPECT_EQ(Number("-1", 99), "-1");
    EXPECT_EQ(Number("1a", 99), "-1");
    EXPECT_EQ(Write(T, FormLogPath, "C:\\t", "w.log"), R"(1:C:\t\w.log)");
    EXPECT_EQ(Write(T, FormLogPath, "C:\\t", R"(logs\w.log)"), R"(1:C:\t\logs\w.log)");
    EXPECT_EQ(Write(T, FormLogPath, "C:\\t", R"(D:\w.log)"), R"(1:D:\w.log)");
    EXPECT_EQ(Write(T, FormLogPath, "C:\\t", R"(\\srv\w.log)"), R"(1:\\srv\w.log)");
    EXPECT_EQ(Write(T, FormLogPath, "C:\\t", w254.c_str()), R"(1:C:\t\)" + w254);
    EXPECT_EQ(Write(T, FormLogPath, "C:\\t", (w254 + "w").c_str()), "0:");
    EXPECT_EQ(Write(T, FormRotatedLogName, R"(C:\l\web.log)", 1), R"(1:C:\l\web.1.log)");
    EXPECT_EQ(Write(T, FormRotatedLogName, R"(C:\l.d\web)", 99), R"(1:C:\l.d\web.99)");
    EXPECT_EQ(Write(T, FormRotatedLogName, R"(C:\l\.log)", 2), R"(1:C:\l\.log.2)");
    EXPECT_EQ(Write(T, FormRotatedLogName, R"(C:\l\)" SO ".log", 3), R"(1:C:\l\)" SO ".3.log");
    EXPECT_EQ(Write(T, FormRotatedLogName, n256.c_str(), 99), "1:" + n252 + ".99.log");
    EXPECT_EQ(Write(T, FormRotatedLogName, n256.c_str(), 100), "0:");
    EXPECT_EQ(Fits("ab\ncd\n", 6), "6");
    EXPECT_EQ(Fits("ab\ncd\n", 5), "3");
    EXPECT_EQ(Fits("ab\ncd\n", 2), "0");
}

// An account's kind, then the name registered, "result:name"; then the refusal of a request for
// it: given empty or cut "e"/"l", password "p", desktop "d".
static std::string Account(const std::string &account, const char *flags = "",
                           const std::string &service = "web")
{
    AccountRequest request = {account.c_str(),
                              service.c_str(),
                              strchr(flags, 'e') != NULL,
                              strchr(flags, 'l') != NULL,
                              strchr(flags, 'p') != NULL,
                              strchr(flags, 'd') != NULL};
    return std::to_string(AccountKindOf(account.c_str(), service.c_str())) + " " +
           Write(T, FormAccountName, account.c_str(), service.c_str()) + " " +
           std::to_string(CheckAccountRequest(&request));
}

// Kinds: 0 LocalSystem, 1 LocalService, 2 NetworkService, 3 virtual, 4 managed, 5 user. Refusals:
// 0 accepted, 1 empty, 2 too long, 3 needs a password, 4 takes none, 5 no desktop.
TEST(Account, KindsNamesAndRefusals)
{
    const std::string user259 = "." + std::string(258, 'u'), s248(248, 's'), s249(249, 's');
    EXPECT_EQ(Account(""), "0 1: 0");
    EXPECT_EQ(Account("", "e"), "0 1: 1");
    EXPECT_EQ(Account("localsystem", "d"), "0 1: 0");
    EXPECT_EQ(Account("LocalSystem", "p"), "0 1: 4");
    EXPECT_EQ(Account("LocalService"), R"(1 1:NT AUTHORITY\LocalService 0)");
    EXPECT_EQ(Account(R"(nt authority\localservice)", "p"), R"(1 1:NT AUTHORITY\LocalService 4)");
    EXPECT_EQ(Account("NetworkService", "d"), R"(2 1:NT AUTHORITY\NetworkService 5)");
    EXPECT_EQ(Account("virtual"), R"(3 1:NT SERVICE\web 0)");
    EXPECT_EQ(Account(R"(NT SERVICE\WEB)", "p"), R"(3 1:NT SERVICE\web 4)");
    EXPECT_EQ(Account(R"(NT SERVICE\other)"), R"(5 1:NT SERVICE\other 3)");
    EXPECT_EQ(Account(R"(DOM\gmsa$)"), R"(4 1:DOM\gmsa$ 0)");
    EXPECT_EQ(Account(R"(DOM\gmsa$)", "pd"), R"(4 1:DOM\gmsa$ 5)");
    EXPECT_EQ(Account(R"(.\user)"), R"(5 1:.\user 3)");
    EXPECT_EQ(Account("user@dom.example", "p"), "5 1:user@dom.example 0");
    EXPECT_EQ(Account(R"(DOM\)" SO, "p"), R"(5 1:DOM\)" SO " 0");
    EXPECT_EQ(Account(user259, "p"), "5 1:" + user259 + " 0");
    EXPECT_EQ(Account(user259, "pl"), "5 1:" + user259 + " 2");
    // NT SERVICE\ and the service's name within 259 bytes: a name of 248 bytes, not 249.
    EXPECT_EQ(Account("virtual", "", s248), "3 1:NT SERVICE\\" + s248 + " 0");
    EXPECT_EQ(Account("virtual", "", s249), "3 0: 2");
    EXPECT_EQ(Write(14, FormAccountName, "virtual", "web"), "0:");
}

// The folders and rights an account gets; "right:folder|" for each, the count first.
static std::string Folders(AccountKind kind, const char *log)
{
    FolderAccess entries[FOLDER_ACCESS_MOST];
    int count = FormFolderAccess(entries, kind, R"(C:\tavi)", log);
    std::string s = std::to_string(count) + ":";
    for (int i = 0; i < count; i++)
        s += std::to_string(entries[i].right) + entries[i].folder + "|";
    return s;
}

static std::string VirtualSid(const std::u16string &upperName, size_t size = T)
{
    std::vector<uint16_t> units(upperName.begin(), upperName.end());
    return Write(size, FormVirtualAccountSid, units.data(), units.size());
}

static std::string Sha1Hex(const std::string &data)
{
    unsigned char digest[20];
    char hex[41];
    Sha1((const unsigned char *)data.data(), data.size(), digest);
    for (int i = 0; i < 20; i++)
        snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

// Read and execute on tavi's folder, modify on the log's, for every account but LocalSystem. The
// virtual account's SID as Windows forms it, at the longest service name and one past.
TEST(Account, FoldersAndVirtualSid)
{
    const std::string l251(251, 'l'), l252(252, 'l');
    EXPECT_EQ(Folders(ACCOUNT_LOCALSYSTEM, "w.log"), "0:");
    EXPECT_EQ(Folders(ACCOUNT_LOCALSERVICE, ""), R"(1:0C:\tavi|)");
    EXPECT_EQ(Folders(ACCOUNT_VIRTUAL, R"(logs\w.log)"), R"(2:0C:\tavi|1C:\tavi\logs|)");
    EXPECT_EQ(Folders(ACCOUNT_USER, R"(D:\)" SO R"(\w.log)"), R"(2:0C:\tavi|1D:\)" SO "|");
    EXPECT_EQ(Folders(ACCOUNT_MANAGED, l251.c_str()), R"(2:0C:\tavi|1C:\tavi|)");
    EXPECT_EQ(Folders(ACCOUNT_MANAGED, l252.c_str()), "-1:");
    EXPECT_EQ(Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Sha1Hex(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
    EXPECT_EQ(VirtualSid(u"TRUSTEDINSTALLER"),
              "1:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
    EXPECT_EQ(VirtualSid(u"サービス一覧表"),
              "1:S-1-5-80-781530112-3969860748-2749759932-3672725920-672612163");
    EXPECT_EQ(VirtualSid(std::u16string(256, u'A')),
              "1:S-1-5-80-2105177189-602349656-687568957-3417234912-2837524111");
    EXPECT_EQ(VirtualSid(std::u16string(257, u'A')), "0:");
    EXPECT_EQ(VirtualSid(u"TRUSTEDINSTALLER", 20), "0:");
}
