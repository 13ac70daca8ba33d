// Fuzzes the command-line scan with arbitrary tails. A model of the option
// table, built here from the documented rules with std::string, must agree
// with ScanCommandLine on every flag and value; every collected text must end
// within its 260 bytes. ParseCommandLine must then take exactly the collected
// values, or leave gSettings to LoadSettings.
#include "fuzz_check.h"
#include "settings_stub.h"

#include "launcher/command_line.h"
#include "settings/service_settings.h"

namespace {

enum Slot {
    INSTALL, UNINSTALL, INI, NAME, EXE, OPTION, DESCRIPTION, DESKTOP, AUTO,
    START, NO_ERROR, OK, QUESTION, RETRY, END, SLOT_COUNT
};

const char *const kSlotNames[SLOT_COUNT] = {
    "install", "uninstall", "ini", "name", "exe", "option", "description",
    "desktop", "auto", "start", "no_error", "ok", "question", "retry", "end"};

bool IsValueSlot(int slot) { return slot >= NAME && slot <= DESCRIPTION; }

struct Model {
    int flag[SLOT_COUNT] = {};
    std::string text[SLOT_COUNT];
    int end = 2;
};

size_t ModelSkipToWhitespace(const std::string &s, size_t p)
{
    while (p < s.size() && s[p] != ' ' && s[p] != '\t')
        p++;
    return p;
}

// The value at p, read with room for size - 1 bytes; returns where the scan
// goes on.
size_t ModelReadValue(const std::string &s, size_t p, size_t size, std::string *out)
{
    out->clear();
    if (p < s.size() && s[p] == '=')
        p++;
    bool quoted = p < s.size() && s[p] == '"';
    if (quoted)
        p++;
    while (out->size() + 1 < size && p < s.size()) {
        char c = s[p];
        if (quoted && c == '\\' && p + 1 < s.size() && s[p + 1] == '"') {
            out->push_back('"');
            p += 2;
        } else if (quoted && c == '"') {
            return ModelSkipToWhitespace(s, p + 1);
        } else if (!quoted && (c == ' ' || c == '\t')) {
            return p;
        } else {
            out->push_back(c);
            p++;
        }
    }
    return p;
}

int ModelMethod(const std::string &value, int current)
{
    static const char *const names[] = {"close", "syscommand", "sysandclose", "ctrlbreak"};
    for (int i = 0; i < 4; i++)
        if (Lower(value) == names[i])
            return i;
    if (!value.empty() && value[0] >= '0' && value[0] <= '3')
        return value[0] - '0';
    return current;
}

Model ModelScan(const std::string &s)
{
    Model m;
    std::string folded = Lower(s);
    size_t p = 0;
    while (p < s.size()) {
        if (s[p] != '/' && s[p] != '-') {
            p++;
            continue;
        }
        p++;
        for (int slot = 0; slot < SLOT_COUNT; slot++) {
            size_t len = strlen(kSlotNames[slot]);
            if (folded.compare(p, len, kSlotNames[slot]) != 0)
                continue;
            p += len;
            if (slot == END) {
                std::string value;
                ModelReadValue(s, p, 260, &value);
                m.end = ModelMethod(value, m.end);
            } else if (IsValueSlot(slot)) {
                p = ModelReadValue(s, p, 260, &m.text[slot]);
            } else {
                m.flag[slot] = 1;
            }
        }
    }
    return m;
}

bool Terminated(const char (&text)[TEXT_SIZE])
{
    return memchr(text, '\0', TEXT_SIZE) != nullptr;
}

void CheckFlags(const CommandFlags &flags, const Model &m)
{
    FUZZ_CHECK(flags.install == m.flag[INSTALL]);
    FUZZ_CHECK(flags.uninstall == m.flag[UNINSTALL]);
    FUZZ_CHECK(flags.ini == m.flag[INI]);
    FUZZ_CHECK(flags.start == m.flag[START]);
    FUZZ_CHECK(flags.no_error == m.flag[NO_ERROR]);
    FUZZ_CHECK(flags.ok == m.flag[OK]);
    FUZZ_CHECK(flags.question == m.flag[QUESTION]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The tail ends at the first NUL, as a command line does; the exact-size
    // copy lets ASan catch a read past that terminator.
    Exact tail(size + 1);
    memcpy(tail.get(), data, size);
    tail.get()[size] = '\0';
    std::string text(tail.get());
    Model m = ModelScan(text);

    // Scan into blocks full of garbage: the scan must reset them itself.
    std::unique_ptr<CommandFlags> flags(new CommandFlags);
    std::unique_ptr<CollectedValues> values(new CollectedValues);
    memset(flags.get(), 0x7F, sizeof *flags);
    memset(values.get(), 0x7F, sizeof *values);
    ScanCommandLine(tail.get(), flags.get(), values.get());

    const int *allFlags = &flags->install;
    for (int i = 0; i < 7; i++)
        FUZZ_CHECK(allFlags[i] == 0 || allFlags[i] == 1);
    FUZZ_CHECK(values->desktop == 0 || values->desktop == 1);
    FUZZ_CHECK(values->auto_ == 0 || values->auto_ == 1);
    FUZZ_CHECK(values->retry == 0 || values->retry == 1);
    FUZZ_CHECK(values->end >= 0 && values->end <= 3);
    FUZZ_CHECK(Terminated(values->name) && Terminated(values->exe));
    FUZZ_CHECK(Terminated(values->option) && Terminated(values->description));

    CheckFlags(*flags, m);
    FUZZ_CHECK(values->name == m.text[NAME]);
    FUZZ_CHECK(values->exe == m.text[EXE]);
    FUZZ_CHECK(values->option == m.text[OPTION]);
    FUZZ_CHECK(values->description == m.text[DESCRIPTION]);
    FUZZ_CHECK(values->desktop == m.flag[DESKTOP]);
    FUZZ_CHECK(values->auto_ == m.flag[AUTO]);
    FUZZ_CHECK(values->retry == m.flag[RETRY]);
    FUZZ_CHECK(values->end == m.end);

    // ParseCommandLine: gSettings starts as garbage; it must come out either
    // untouched (the settings file's turn) or holding the collected values.
    ServiceSettings before;
    memset(&before, 0x5A, sizeof before);
    gSettings = before;
    memset(&gFlags, 0x7F, sizeof gFlags);
    gLoadSettingsCalls = 0;
    ParseCommandLine(tail.get());
    CheckFlags(gFlags, m);
    bool fromFile = (!m.flag[INSTALL] && !m.flag[UNINSTALL]) || m.flag[INI];
    if (fromFile) {
        FUZZ_CHECK(gLoadSettingsCalls == 1);
        FUZZ_CHECK(memcmp(&gSettings, &before, sizeof before) == 0);
    } else {
        FUZZ_CHECK(gLoadSettingsCalls == 0);
        FUZZ_CHECK(Terminated(gSettings.name) && Terminated(gSettings.exe));
        FUZZ_CHECK(Terminated(gSettings.option) && Terminated(gSettings.description));
        FUZZ_CHECK(gSettings.name == m.text[NAME]);
        FUZZ_CHECK(gSettings.exe == m.text[EXE]);
        FUZZ_CHECK(gSettings.option == m.text[OPTION]);
        FUZZ_CHECK(gSettings.description == m.text[DESCRIPTION]);
        FUZZ_CHECK(gSettings.desktop == m.flag[DESKTOP]);
        FUZZ_CHECK(gSettings.auto_ == m.flag[AUTO]);
        FUZZ_CHECK(gSettings.retry == m.flag[RETRY]);
        FUZZ_CHECK(gSettings.end == m.end);
    }
    return 0;
}
