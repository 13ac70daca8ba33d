// Unit tests of the byte-string logic that tavi.exe shares with this host build. Each behaviour
// is a table, one row a line: what a call gave, and what it should give. Calls that write run on
// a heap block of exactly the size given, so that AddressSanitizer catches a write past it.
#include "launcher/command_line.h"
#include "scm/service_path.h"
#include "service/child_command.h"
#include "settings/log_names.h"
#include "settings/option_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>
#include <string>
#include <vector>

// The settings file needs Windows; here loading it only counts.
static int gLoads;
void LoadSettings(void)
{
    gLoads++;
}

#define SO "\x83\x5C" // katakana "so": its second byte is the code of a backslash
static const size_t T = TEXT_SIZE;
static const std::string kLong259(259, 'x'), kLong260(260, 'x');

struct Row {
    std::string got, want;
};

static void ExpectRows(const std::vector<Row> &rows)
{
    for (size_t i = 0; i < rows.size(); i++)
        EXPECT_EQ(rows[i].want, rows[i].got) << "row " << i;
}

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

static std::string Append(size_t size, const char *start, const char *in)
{
    return Write(size, [&](char *out, size_t n) {
        CopyText(out, n, start);
        return AppendText(out, n, in);
    });
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

TEST(Text, LeadBytesAndLetterCase)
{
    ExpectRows({
        {LeadBytes("\x80\x81\x9F\xA0\xDF\xE0\xFC\xFD"), "01100110"},
        {std::to_string(TextEqualI("Az", "aZ")), "1"},
        {std::to_string(TextEqualI("@[", "`{")), "0"}, // only A-Z fold
        {std::to_string(TextEqualI("\xC1", "\xE1")), "0"},
        {std::to_string(TextEqualNI("INSTALLnow", "install", 7)), "1"},
        {std::to_string(TextEqualNI("instal", "install", 7)), "0"},
    });
}

TEST(Text, CopiesAtTheirLimits)
{
    ExpectRows({
        {Write(T, CopyText, kLong259.c_str()), "1:" + kLong259},
        {Write(T, CopyText, kLong260.c_str()), "0:" + kLong259},
        {Write(1, CopyText, "a"), "0:"},
        {Append(6, "ab", "cde"), "1:abcde"},
        {Append(5, "ab", "cde"), "0:ab"},
        {Write(7, EscapeValue, SO R"(\")"), "1:" SO R"(\\\")"},
        {Write(6, EscapeValue, SO R"(\")"), "0:"},
        {Write(3, UnescapeValue, R"(\\a)"), R"(1:\a)"},
        {Write(2, UnescapeValue, R"(\\a)"), "0:"},
        {Write(T, UnescapeValue, R"(a\b c\)"), R"(1:a\b c\)"},
        {Write(T, UnescapeValue, SO R"(\\\")"), "1:" SO R"(\")"},
    });
}

// Paths are walked as Shift_JIS: a second byte that is a backslash splits nothing.
TEST(Text, PathsWalkedAsShiftJis)
{
    ExpectRows({
        {Cut(R"(C:\dir\app.exe)"), R"(C:\dir)"},
        {Cut(R"(C:\app.exe)"), "C:"},
        {Cut("app.exe"), "app.exe"},
        {Cut(R"(C:\)" SO R"(\a.exe)"), R"(C:\)" SO},
        {Cut(R"(C:\dir)" SO "a.exe"), "C:"},
        {Cut("C:/dir/app.exe"), "C:/dir/app.exe"},
        {Write(T, BaseNameWithoutExtension, R"(C:\tools\my.server.exe)"), "0:my"},
        {Write(T, BaseNameWithoutExtension, "D:app.exe"), "0:app"},
        {Write(T, BaseNameWithoutExtension, R"(C:\)" SO "a.b"), "0:" SO "a"},
        {Write(T, BaseNameWithoutExtension, "C:/dir/app.exe"), "0:/dir/app"},
        {Write(T, BaseNameWithoutExtension, ".exe"), "0:"},
        {Extension(R"(C:\a\b.exe)"), "exe1"},
        {Extension("a.b.Bat"), "Bat1"},
        {Extension(R"(C:\a.b\prog)"), "0"},
        {Extension("app."), "0"},
        {Extension("exe"), "exe1"},
        {Extension(".exe"), ".exe0"},
        {Extension("C:/dir/app.com"), "com0"},
        {Extension(""), "0"},
    });
}

static std::string Stored(const std::string &option)
{
    return Write(STORED_OPTION_SIZE,
                 [&](char *out, size_t) { return FormatStoredOption(out, option.c_str()); });
}

// Whether settings with this one text changed can be stored whole.
static std::string CanStore(char (ServiceSettings::*field)[TEXT_SIZE], const std::string &text)
{
    ServiceSettings settings = {};
    CopyText(settings.*field, T, text.c_str());
    return std::to_string(SettingsCanBeStored(&settings));
}

static std::string CanStoreLog(int logsize, int logkeep)
{
    ServiceSettings settings = {};
    settings.logsize = logsize;
    settings.logkeep = logkeep;
    return std::to_string(SettingsCanBeStored(&settings));
}

// Settings are stored only when they read back whole; an option is escaped and quoted, and one
// longer than its field (only by hand) is cut after a whole character, never left escaped.
TEST(Settings, StoredWhole)
{
    const std::string a258(258, 'a'), backslashes129(129, '\\'), cut = R"(\\)" + a258 + "b";
    ExpectRows({
        {Stored(backslashes129 + "a"), "1:\"" + backslashes129 + backslashes129 + "a\""},
        {Stored(backslashes129 + "ab"), "0:"},
        {CanStore(&ServiceSettings::exe, "\x83\x83"), "1"},
        {CanStore(&ServiceSettings::exe, "a\r"), "0"},
        {CanStore(&ServiceSettings::name, "\n"), "0"},
        {CanStore(&ServiceSettings::option, std::string(130, '\\')), "0"},
        {CanStore(&ServiceSettings::description, "\x83\x83\x83"), "0"},
        {CanStore(&ServiceSettings::log, "w.log\n"), "0"},
        {CanStoreLog(0, 0), "1"},
        {CanStoreLog(-1, 5), "0"},
        {CanStoreLog(5, -1), "0"},
        {Write(T, DecodeStoredOption, R"(\\\")", 1), R"(0:\")"},
        {Write(T, DecodeStoredOption, R"(\\\")", 0), R"(0:\\\")"},
        {Write(T, DecodeStoredOption, cut.c_str(), 1), R"(0:\)" + a258},
        {Write(T, DecodeStoredOption, (a258 + SO "b").c_str(), 1), "0:" + a258},
    });
}

// The flags set in table order, the stop method, then "|name|exe|option|description|log|logsize
// |logkeep" without the empty texts at its end.
template <class Values>
static std::string Summary(const CommandFlags &f, const Values &v)
{
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
    for (const std::string &text : {std::string(v.name), std::string(v.exe), std::string(v.option),
                                    std::string(v.description), std::string(v.log)})
        s += "|" + text;
    return s;
}

static std::string Scan(const std::string &tail)
{
    CommandFlags flags;
    CollectedValues values;
    ScanCommandLine(tail.c_str(), &flags, &values);
    std::string s = Summary(flags, values) + "|" + values.logsize + "|" + values.logkeep;
    return s.erase(s.find_last_not_of('|') + 1);
}

// Whether the settings file was loaded, then what gSettings holds (log numbers last).
static std::string Parse(const char *tail)
{
    gLoads = 0;
    gSettings = {"", "", "o", "", 7, 0, 0, 0, "", 1, 1};
    ParseCommandLine(tail);
    std::string s = std::to_string(gLoads) + " " + Summary(gFlags, gSettings);
    s = s.erase(s.find_last_not_of('|') + 1);
    return s + " " + std::to_string(gSettings.logsize) + " " + std::to_string(gSettings.logkeep);
}

static std::string Read(size_t size, const std::string &source)
{
    return Write(size, [&](char *out, size_t n) {
        return (int)(ReadOptionValue(out, source.c_str(), n) - source.c_str());
    });
}

// Values are read byte-wise: quoted with \" for a quote, or up to a blank; cut at 259 bytes.
TEST(CommandLine, Values)
{
    ExpectRows({
        {Read(T, "=\"a b\"glued c"), "11:a b"},
        {Read(T, R"(="C:\d\" b)"), R"(10:C:\d" b)"},
        {Read(T, "=abc\tx"), "4:abc"},
        {Read(T, "=" + kLong259 + " x"), "260:" + kLong259},
        {Read(T, "=" + kLong260), "260:" + kLong259},
        {Read(4, "=abcdef"), "4:abc"},
    });
}

// At every "/" or "-" outside a value the whole option table is tried in order.
TEST(CommandLine, OptionsInTableOrder)
{
    ExpectRows({
        {Scan("/startok"), "start ok end=2"},
        {Scan("/okstart"), "ok end=2"},
        {Scan("-NAME=a /name b"), "end=2"},
        {Scan("/END=SysCommand"), "end=1"},
        {Scan("/end=ctrlbreak /end=closed /end=9 /end= 0"), "end=3"},
        {Scan("-INI /auto=0 /desktop /retry"), "ini desktop auto retry end=2"},
        {Scan("/question /no_error"), "no_error question end=2"},
        {Scan("\"/option=-a b\""), "end=2|||-a"},
        {Scan("install /name=x foo-ok /option=-start /end=0-start"), "start ok end=0|x||-start"},
        {Scan("/option=\"" SO "\" /start"), "end=2|||\x83\" /start"},
        {Scan("/name=" + kLong259 + "description=z"), "end=2|" + kLong259 + "|||z"},
        {Scan("/logsize=7 /logkeep=0 /log=\"a b.log\""), "end=2|||||a b.log|7|0"},
    });
}

// The command line is taken only to install or uninstall without /ini; a log number not given
// takes its default, and one that is no number in range reads -1.
TEST(CommandLine, SettingsFromTheLineOrTheFile)
{
    ExpectRows({
        {Parse("/install /ini"), "1 install ini end=7|o 1 1"},
        {Parse("/start /name=x"), "1 start end=7|o 1 1"},
        {Parse("-uninstall /retry /desktop"), "0 uninstall desktop retry end=2 10485760 5"},
        {Parse("/install /nameN /exeE /optionO /descriptionD /auto"),
         "0 install auto end=2|N|E|O|D 10485760 5"},
        {Parse("/install /log=w /logsize=2147483647 /logkeep=99"),
         "0 install end=2|||||w 2147483647 99"},
        {Parse("/install /logsize=0 /logkeep=0"), "0 install end=2 0 0"},
        {Parse("/install /logsize=2147483648 /logkeep=100"), "0 install end=2 -1 -1"},
        {Parse("/install /logsize=-1 /logkeep=1a"), "0 install end=2 -1 -1"},
    });
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
    ExpectRows({
        {Write(12, FormChildCommandLine, "a b.exe", "x"), "1:\"a b.exe\" x"},
        {Write(11, FormChildCommandLine, "a b.exe", "x"), "0:"},
        {Write(T, FormChildCommandLine, "\"a b\"", "x"), "1:\"a b\" x"},
        {CouldStart("a b.exe", 249, "", 5), "1"}, // 259 bytes of command line
        {CouldStart("a b.exe", 250, "", 5), "0"},
        {CouldStart("a.exe", 1, log255, 99), "1"},
        {CouldStart("a.exe", 1, "l" + log255, 99), "0"},
        {CouldStart("a.exe", 1, "l" + log255, 9), "1"},
        {Write(T, FormChildWorkingDirectory, R"(C:\a\b.exe)"), R"(0:C:\a)"},
        {Write(T, FormChildWorkingDirectory, R"("C:\P F\)" SO R"(b.exe")"), R"(0:C:\P F)"},
        {Write(T, FormChildWorkingDirectory, "b.exe"), "0:"},
        {Write(T, FormChildWorkingDirectory, "\"b.exe\""), "0:"},
        {Write(6, FormServiceBinaryPath, "a b"), "1:\"a b\""},
        {Write(5, FormServiceBinaryPath, "a b"), "0:"},
        {Write(4, FormServiceBinaryPath, "a.b"), "1:a.b"},
        {Write(3, FormServiceBinaryPath, "a.b"), "0:"},
        {StopMethodName(-1), "close"},
        {StopMethodName(3), "ctrlbreak"},
        {StopMethodName(4), "close"},
    });
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
    ExpectRows({
        {Number("0", 99), "0"},
        {Number("99", 99), "99"},
        {Number("100", 99), "-1"},
        {Number("2147483647", LOG_SIZE_MAX), "2147483647"},
        {Number("2147483648", LOG_SIZE_MAX), "-1"},
        {Number("99999999999999999999", LOG_SIZE_MAX), "-1"},
        {Number("", 99), "-1"},
        {Number("-1", 99), "-1"},
        {Number(" 1", 99), "-1"},
        {Number("1a", 99), "-1"},
        {Write(T, FormLogPath, "C:\\t", "w.log"), R"(1:C:\t\w.log)"},
        {Write(T, FormLogPath, "C:\\t", R"(logs\w.log)"), R"(1:C:\t\logs\w.log)"},
        {Write(T, FormLogPath, "C:\\t", R"(D:\w.log)"), R"(1:D:\w.log)"},
        {Write(T, FormLogPath, "C:\\t", "D:w.log"), "1:D:w.log"},
        {Write(T, FormLogPath, "C:\\t", R"(\\srv\w.log)"), R"(1:\\srv\w.log)"},
        {Write(T, FormLogPath, "C:\\t", w254.c_str()), R"(1:C:\t\)" + w254},
        {Write(T, FormLogPath, "C:\\t", (w254 + "w").c_str()), "0:"},
        {Write(T, FormRotatedLogName, R"(C:\l\web.log)", 1), R"(1:C:\l\web.1.log)"},
        {Write(T, FormRotatedLogName, R"(C:\l.d\web)", 99), R"(1:C:\l.d\web.99)"},
        {Write(T, FormRotatedLogName, R"(C:\l\.log)", 2), R"(1:C:\l\.log.2)"},
        {Write(T, FormRotatedLogName, R"(C:\l\)" SO ".log", 3), R"(1:C:\l\)" SO ".3.log"},
        {Write(T, FormRotatedLogName, n256.c_str(), 99), "1:" + n252 + ".99.log"},
        {Write(T, FormRotatedLogName, n256.c_str(), 100), "0:"},
        {Fits("ab\ncd\n", 6), "6"},
        {Fits("ab\ncd\n", 5), "3"},
        {Fits("ab\ncd\n", 2), "0"},
        {Fits("abc", 0), "0"},
    });
}
