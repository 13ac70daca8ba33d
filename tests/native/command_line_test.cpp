// The command-line scan: the option table, value reading, the stop method
// and the choice between command-line values and the settings file.
#include "launcher/command_line.h"
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "exact_buffer.h"

// The settings file is Windows-only; here its two entry points only count.
static int gLoadCalls;
static int gSaveCalls;
void LoadSettings(void) { gLoadCalls++; }
int SaveSettings(void) { gSaveCalls++; return 1; }

namespace {

struct Scan {
    CommandFlags flags;
    CollectedValues values;
    explicit Scan(const std::string &tail) { ScanCommandLine(tail.c_str(), &flags, &values); }

    // The flags that are set and the stop method, in table order.
    std::string Summary() const
    {
        const struct { const char *name; int set; } all[] = {
            {"install", flags.install}, {"uninstall", flags.uninstall}, {"ini", flags.ini},
            {"desktop", values.desktop}, {"auto", values.auto_},       {"start", flags.start},
            {"no_error", flags.no_error}, {"ok", flags.ok},            {"question", flags.question},
            {"retry", values.retry},
        };
        std::string s;
        for (const auto &f : all)
            if (f.set)
                s += std::string(f.name) + " ";
        return s + "end=" + std::to_string(values.end);
    }
};

TEST(SkipToWhitespace, StopsAtABlankATabOrTheEnd)
{
    const struct { const char *in; size_t offset; } cases[] = {
        {"abc def", 3}, {"abc\tdef", 3}, {"abc", 3}, {" x", 0}, {"", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.in + c.offset, SkipToWhitespace(c.in)) << c.in;
}

TEST(ReadOptionValue, ReadsPlainAndQuotedValues)
{
    // offset: where reading stopped; the scan resumes there.
    const struct { size_t size; const char *source, *value; size_t offset; } cases[] = {
        {TEXT_SIZE, "=abc def", "abc", 4},
        {TEXT_SIZE, "abc", "abc", 3},
        {TEXT_SIZE, "=a\tb", "a", 2},
        {TEXT_SIZE, "==abc", "=abc", 5},
        {TEXT_SIZE, "", "", 0},
        {TEXT_SIZE, "= x", "", 1},
        {TEXT_SIZE, "=a\"b c\"", "a\"b", 4},          // a quote inside is plain
        {TEXT_SIZE, "=\"a b\" rest", "a b", 6},
        {TEXT_SIZE, "=\"a b\"glued rest", "a b", 11},  // glued text is passed over
        {TEXT_SIZE, "=\"\"", "", 3},
        {TEXT_SIZE, "=\"a\\\"b\"", "a\"b", 7},
        {TEXT_SIZE, "=\"C:\\dir\\x\"", "C:\\dir\\x", 11}, // lone backslashes kept
        {TEXT_SIZE, "=\"open", "open", 6},
        {TEXT_SIZE, "=\"a\\\" b", "a\" b", 7},           // \" never closes
        {4, "=abcdef", "abc", 4},
        {4, "=\"abcdef\"", "abc", 5},
        {4, "=\"ab\\\"cd\"", "ab\"", 6},
        {1, "=abc", "", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        ExactBuffer out(c.size);
        EXPECT_EQ(c.source + c.offset, ReadOptionValue(out.get(), c.source, out.size()));
        EXPECT_EQ(c.value, out.str());
    }
}

TEST(StopMethodFromValue, NamesTheWholeValueOrItsFirstDigit)
{
    const struct { const char *value; int current, method; } cases[] = {
        {"close", 2, 0},       {"syscommand", 0, 1}, {"sysandclose", 0, 2}, {"ctrlbreak", 0, 3},
        {"CLOSE", 2, 0},       {"SysCommand", 2, 1}, {"closed", 2, 2},      {"clos", 1, 1},
        {"0", 2, 0},           {"3", 2, 3},          {"1x", 2, 1},          {"4", 2, 2},
        {"9", 1, 1},           {"kill", 3, 3},       {"", 0, 0},            {" 1", 2, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(c.method, StopMethodFromValue(c.value, c.current));
    }
}

TEST(ScanCommandLine, SetsFlagsByTableOrderAtEveryOption)
{
    const struct { const char *tail, *summary; } cases[] = {
        {"", "end=2"},
        {"/install", "install end=2"},
        {"-uninstall -ini", "uninstall ini end=2"},
        {"/UNINSTALL /INI", "uninstall ini end=2"},
        {"/startok", "start ok end=2"},
        {"/okstart", "ok end=2"},
        {"/installuninstall", "install uninstall end=2"},
        {"/uninstallinstall", "uninstall end=2"},
        {"/installnow", "install end=2"},
        {"/auto=0", "auto end=2"},
        {"/desktop /retry /no_error /question", "desktop no_error question retry end=2"},
        {"install start", "end=2"},
        {"/bogus -x /", "end=2"},
        {"a/ok", "ok end=2"},
        {"/name=x foo-ok", "ok end=2"},
        {"/name=x/install", "end=2"},         // a value's bytes are not scanned
        {"/end=close", "end=0"},
        {"/END=SysCommand", "end=1"},
        {"/end=\"ctrlbreak\"", "end=3"},
        {"/end=9", "end=2"},
        {"/end=kill", "end=2"},
        {"/end=1 /end=kill", "end=1"},
        {"/end=close /end=3", "end=3"},
        {"/end=1-start", "start end=1"},     // the end value's bytes are scanned
        {"/end=x/install", "install end=2"},
        {"/ininame=a/ok", "ini end=2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tail);
        EXPECT_EQ(c.summary, Scan(c.tail).Summary());
    }
}

TEST(ScanCommandLine, ReadsValuesIntoTheirTargets)
{
    const struct { const char *tail, *name, *exe, *option, *description; } cases[] = {
        {"/nameWeb", "Web", "", "", ""},
        {"/name Web", "", "", "", ""},
        {"/name=Web /exe=C:\\w.exe /option=-p /description=Site", "Web", "C:\\w.exe", "-p", "Site"},
        {"-NAME=Web", "Web", "", "", ""},
        {"/exeC:\\x.exe", "", "C:\\x.exe", "", ""},
        {"/description=\"My web server\"", "", "", "", "My web server"},
        {"/exe=\"C:\\Program Files\\web\\server.exe\"", "", "C:\\Program Files\\web\\server.exe", "", ""},
        {"/option=-a -b", "", "", "-a", ""},
        {"/option=-x -name foo", "", "", "-x", ""},
        {"/option=\"-a \\\"b c\\\"\"", "", "", "-a \"b c\"", ""},
        {"/option=\"a\\\" /start", "", "", "a\" /start", ""},
        {"/option=\"\x83\\\" /start", "", "", "\x83\" /start", ""},
        {"/name=one /name=two", "two", "", "", ""},
        {"/name=a/exe=b", "a/exe=b", "", "", ""},
        {"/nameexe=b", "exe=b", "", "", ""},
        {"/ininame=a", "a", "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tail);
        Scan scan(c.tail);
        EXPECT_EQ(c.name, std::string(scan.values.name));
        EXPECT_EQ(c.exe, std::string(scan.values.exe));
        EXPECT_EQ(c.option, std::string(scan.values.option));
        EXPECT_EQ(c.description, std::string(scan.values.description));
    }
    Scan glued("/exe=\"C:\\x.exe\"/start");
    EXPECT_EQ("C:\\x.exe", std::string(glued.values.exe));
    EXPECT_EQ(0, glued.flags.start);
}

// A value is cut at 259 bytes; what is left is first tried against the
// later table entries, then scanned for a new option.
TEST(ScanCommandLine, ContinuesAfterAValueCutAtItsLimit)
{
    const std::string cut(TEXT_SIZE - 1, 'x');

    Scan later("/name=" + cut + "description=zz");
    EXPECT_EQ(cut, later.values.name);
    EXPECT_EQ("zz", std::string(later.values.description));

    Scan earlier("/option=" + cut + "name=zz");
    EXPECT_EQ(cut, earlier.values.option);
    EXPECT_EQ("", std::string(earlier.values.name));

    Scan flag("/name=" + cut + "yy-ok/start");
    EXPECT_EQ(cut, flag.values.name);
    EXPECT_EQ("start ok end=2", flag.Summary());

    Scan quoted("/exe=\"" + cut + "zz\" /ok");
    EXPECT_EQ(cut, quoted.values.exe);
    EXPECT_EQ("ok end=2", quoted.Summary());

    // The room ends just before the closing quote, which the scan then
    // passes over, so an option glued to it is read after all.
    Scan full("/description=\"" + cut + "\"/start");
    EXPECT_EQ(cut, full.values.description);
    EXPECT_EQ("start end=2", full.Summary());
    Scan shorter("/description=\"" + cut.substr(1) + "\"/start");
    EXPECT_EQ("end=2", shorter.Summary());
}

class ParseCommandLineTest : public testing::Test {
protected:
    void SetUp() override
    {
        gLoadCalls = 0;
        gSaveCalls = 0;
        CopyText(gSettings.name, TEXT_SIZE, "old name");
        CopyText(gSettings.exe, TEXT_SIZE, "old.exe");
        CopyText(gSettings.option, TEXT_SIZE, "old option");
        CopyText(gSettings.description, TEXT_SIZE, "old description");
        gSettings.desktop = gSettings.auto_ = gSettings.retry = 7;
        gSettings.end = 7;
    }
};

TEST_F(ParseCommandLineTest, LoadsTheFileUnlessInstallingOrUninstallingWithoutIni)
{
    // name: what gSettings.name holds afterwards.
    const struct { const char *tail; int load; const char *name; } cases[] = {
        {"", 1, "old name"},
        {"/start /name=x", 1, "old name"},
        {"/install /ini /name=x", 1, "old name"},
        {"/uninstall -ini", 1, "old name"},
        {"/install /name=x", 0, "x"},
        {"-uninstall", 0, ""},
        {"/install /uninstall /name=x", 0, "x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tail);
        SetUp();
        ParseCommandLine(c.tail);
        EXPECT_EQ(c.load, gLoadCalls);
        EXPECT_EQ(0, gSaveCalls);
        EXPECT_EQ(c.name, std::string(gSettings.name));
    }
}

TEST_F(ParseCommandLineTest, InstallTakesEveryFieldFromTheCommandLine)
{
    ParseCommandLine("/install /name=Web /exe=\"C:\\Program Files\\w.exe\" /option=-p "
                     "/description=Site /desktop /auto /retry /end=ctrlbreak /ok");
    EXPECT_EQ("Web", std::string(gSettings.name));
    EXPECT_EQ("C:\\Program Files\\w.exe", std::string(gSettings.exe));
    EXPECT_EQ("-p", std::string(gSettings.option));
    EXPECT_EQ("Site", std::string(gSettings.description));
    EXPECT_EQ(1, gSettings.desktop);
    EXPECT_EQ(1, gSettings.auto_);
    EXPECT_EQ(1, gSettings.retry);
    EXPECT_EQ(3, gSettings.end);
    EXPECT_EQ(1, gFlags.install);
    EXPECT_EQ(1, gFlags.ok);

    // Fields not given take their defaults, not what was there before.
    SetUp();
    ParseCommandLine("/uninstall /name=Web");
    EXPECT_EQ("Web", std::string(gSettings.name));
    EXPECT_EQ("", std::string(gSettings.exe));
    EXPECT_EQ("", std::string(gSettings.option));
    EXPECT_EQ("", std::string(gSettings.description));
    EXPECT_EQ(0, gSettings.desktop);
    EXPECT_EQ(0, gSettings.auto_);
    EXPECT_EQ(0, gSettings.retry);
    EXPECT_EQ(2, gSettings.end);
    EXPECT_EQ(0, gFlags.install);
    EXPECT_EQ(1, gFlags.uninstall);
}

} // namespace
