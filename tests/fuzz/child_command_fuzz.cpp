// Fuzzes the forming of the child's command line and working directory and
// of the service's binary path. The input is cut at its NUL bytes into the
// program path and the option text. Each result is computed here with
// std::string; the routine must give exactly that whenever it reports
// success, an empty text when it reports that the line does not fit, and
// never a byte past its exact-size block.
#include "fuzz_check.h"

#include "scm/service_path.h"
#include "service/child_command.h"

namespace {

bool HasBlank(const std::string &s) { return s.find(' ') != std::string::npos; }

void FuzzCommandLine(const std::string &exe, const std::string &option)
{
    // A path with a blank goes in quotes unless it already begins with one.
    bool quote = HasBlank(exe) && exe[0] != '"';
    std::string line = (quote ? "\"" + exe + "\"" : exe) + " " + option;
    for (size_t size : SizesAround({line.size() + 1})) {
        Exact out(size);
        int ok = FormChildCommandLine(out.get(), size, exe.c_str(), option.c_str());
        FUZZ_CHECK(ok == (line.size() + 1 <= size));
        if (size == 0)
            continue;
        FUZZ_CHECK(out.Terminated());
        FUZZ_CHECK(out.str() == (ok ? line : std::string()));
    }
}

void FuzzWorkingDirectory(const std::string &exe)
{
    // A quoted path's folder begins after its opening quote.
    const std::string path = !exe.empty() && exe[0] == '"' ? exe.substr(1) : exe;
    for (size_t size : SizesAround({path.size() + 1})) {
        Exact out(size);
        FormChildWorkingDirectory(out.get(), size, exe.c_str());
        if (size == 0)
            continue;
        std::string copy = path.substr(0, size - 1);
        std::vector<bool> single = SingleByteMask(copy);
        size_t cut = copy.size();
        for (size_t i = 0; i < copy.size(); i++)
            if (single[i] && copy[i] == '\\')
                cut = i;
        FUZZ_CHECK(out.Terminated());
        FUZZ_CHECK(out.str() == copy.substr(0, cut));
    }
}

void FuzzBinaryPath(const std::string &modulePath)
{
    std::string path = HasBlank(modulePath) ? "\"" + modulePath + "\"" : modulePath;
    for (size_t size : SizesAround({path.size() + 1, modulePath.size() + 1})) {
        Exact out(size);
        int ok = FormServiceBinaryPath(out.get(), size, modulePath.c_str());
        FUZZ_CHECK(ok == (path.size() + 1 <= size));
        if (size == 0)
            continue;
        FUZZ_CHECK(out.Terminated());
        if (ok)
            FUZZ_CHECK(out.str() == path && out.TailUntouched());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = SplitAtNul(data, size, 2);
    FuzzCommandLine(parts[0], parts[1]);
    FuzzWorkingDirectory(parts[0]);
    FuzzBinaryPath(parts[0]);
    return 0;
}
