// See child_command.h.
#include "service/child_command.h"
#include "settings/log_names.h"
#include "settings/text.h"

#include <string.h>

int FormChildCommandLine(char *out, size_t size, const char *exe, const char *option)
{
    int quote = exe[0] != '"' && strchr(exe, ' ') != NULL;
    if (size == 0)
        return 0;
    out[0] = '\0';
    int ok = CopyText(out, size, quote ? "\"" : "") && AppendText(out, size, exe) &&
             AppendText(out, size, quote ? "\" " : " ") && AppendText(out, size, option);
    if (!ok)
        out[0] = '\0';
    return ok;
}

int ChildCommandLineFits(const char *exe, const char *option)
{
    char line[TEXT_SIZE];
    return FormChildCommandLine(line, sizeof line, exe, option);
}

int SettingsCouldStart(const ServiceSettings *settings, const char *moduleDir)
{
    return ChildCommandLineFits(settings->exe, settings->option) &&
           LogNamesFit(moduleDir, settings->log, settings->logkeep);
}

void FormChildWorkingDirectory(char *out, size_t size, const char *exe)
{
    if (size == 0)
        return;
    // A path given in quotes has its folder after the opening quote.
    CopyText(out, size, exe[0] == '"' ? exe + 1 : exe);
    size_t length = strlen(out);
    CutAtLastBackslash(out);
    // Without a folder the program runs in the current one.
    if (strlen(out) == length)
        out[0] = '\0';
}
