// The child's command line and working directory, and the service's binary
// path: quoting of paths with blanks, and all-or-nothing bounded output.
#include "scm/service_path.h"
#include "service/child_command.h"
#include "settings/text.h"

#include <gtest/gtest.h>

#include <string>

#include "exact_buffer.h"

namespace {

TEST(FormChildCommandLine, JoinsPathAndOptionQuotingAPathWithABlank)
{
    const struct { const char *exe, *option, *line; } cases[] = {
        {"C:\\a\\b.exe", "", "C:\\a\\b.exe "},
        {"C:\\a\\b.exe", "-x \"y z\"", "C:\\a\\b.exe -x \"y z\""},
        {"C:\\Program Files\\b.exe", "-x", "\"C:\\Program Files\\b.exe\" -x"},
        {"C:\\Program Files\\b.exe", "", "\"C:\\Program Files\\b.exe\" "},
        {"\"C:\\Program Files\\b.exe\"", "-x", "\"C:\\Program Files\\b.exe\" -x"},
        {"C:\\tab\tdir\\b.exe", "", "C:\\tab\tdir\\b.exe "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.exe);
        ExactBuffer out(TEXT_SIZE);
        EXPECT_EQ(1, FormChildCommandLine(out.get(), out.size(), c.exe, c.option));
        EXPECT_EQ(c.line, out.str());
    }
}

// A cut line would start the program with other options, so a line that
// does not fit is not formed at all.
TEST(FormChildCommandLine, FormsNothingWhenTheLineDoesNotFit)
{
    const std::string plain(200, 'p'), spaced = "C:\\A B\\" + std::string(193, 'p');
    const std::string option(100, 'o');
    const struct { const std::string &exe; size_t size; int ok; } cases[] = {
        {plain, TEXT_SIZE, 0},
        {plain, 200 + 1 + 100 + 1, 1},
        {plain, 200 + 1 + 100, 0},
        {spaced, 2 + 200 + 1 + 100 + 1, 1},
        {spaced, 2 + 200 + 1 + 100, 0},
        {plain, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        ExactBuffer out(c.size);
        EXPECT_EQ(c.ok, FormChildCommandLine(out.get(), out.size(), c.exe.c_str(), option.c_str()));
        EXPECT_EQ(c.ok ? c.size - 1 : 0, out.str().size());
    }
    ExactBuffer none(0);
    EXPECT_EQ(0, FormChildCommandLine(none.get(), 0, "a", ""));
}

TEST(FormChildWorkingDirectory, CutsThePathAtItsLastBackslash)
{
    const struct { const char *exe, *directory; } cases[] = {
        {"C:\\a\\b.exe", "C:\\a"},
        {"C:\\b.exe", "C:"},
        {"b.exe", "b.exe"},
        {"C:\\dir\x83\x5C\\b.exe", "C:\\dir\x83\x5C"},
        {"C:\\\x83\x5C" "b.exe", "C:"},
        {"\"C:\\Program Files\\b.exe\"", "C:\\Program Files"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.exe);
        ExactBuffer out(TEXT_SIZE);
        FormChildWorkingDirectory(out.get(), out.size(), c.exe);
        EXPECT_EQ(c.directory, out.str());
    }
    ExactBuffer none(0);
    FormChildWorkingDirectory(none.get(), 0, "C:\\x\\a.exe");
}

TEST(FormServiceBinaryPath, QuotesAModulePathWithABlank)
{
    const std::string longPlain(TEXT_SIZE, 'p'), longSpaced = "C:\\A B\\" + std::string(251, 'p');
    const struct { std::string path; size_t size; int ok; std::string out; } cases[] = {
        {"C:\\tavi\\tavi.exe", TEXT_SIZE, 1, "C:\\tavi\\tavi.exe"},
        {"C:\\Program Files\\tavi\\tavi.exe", TEXT_SIZE, 1, "\"C:\\Program Files\\tavi\\tavi.exe\""},
        {"C:\\A B\\t.exe", 15, 1, "\"C:\\A B\\t.exe\""},
        {"C:\\A B\\t.exe", 14, 0, ""},
        {longSpaced, TEXT_SIZE, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        ExactBuffer out(c.size);
        EXPECT_EQ(c.ok, FormServiceBinaryPath(out.get(), out.size(), c.path.c_str()));
        EXPECT_EQ(c.out, out.str());
    }
    // A path with no blank that is too long is reported, whatever is left.
    ExactBuffer out(TEXT_SIZE);
    EXPECT_EQ(0, FormServiceBinaryPath(out.get(), out.size(), longPlain.c_str()));
}

} // namespace
