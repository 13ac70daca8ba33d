// Fuzzes ReadOptionValue, SkipToWhitespace and StopMethodFromValue. The input
// up to its first NUL is the text after an option's name. The value is read
// into exact-size blocks at every size that matters (260, and each size
// around the value's full length), and must match a model of the reading
// rules: bytes copied, terminator within the block, and the position
// returned, which lies in the source at or before its terminator.
#include "fuzz_check.h"
#include "settings_stub.h"

#include "launcher/command_line.h"

namespace {

struct ModelValue {
    std::string value;
    size_t next; // offset where the scan goes on
};

size_t ModelSkipToWhitespace(const std::string &s, size_t p)
{
    while (p < s.size() && s[p] != ' ' && s[p] != '\t')
        p++;
    return p;
}

// With room for room bytes of value (SIZE_MAX: unbounded).
ModelValue ModelRead(const std::string &s, size_t room)
{
    ModelValue r;
    size_t p = 0;
    if (p < s.size() && s[p] == '=')
        p++;
    bool quoted = p < s.size() && s[p] == '"';
    if (quoted)
        p++;
    for (;;) {
        if (r.value.size() >= room || p == s.size())
            break;
        if (quoted) {
            if (s.compare(p, 2, "\\\"") == 0) {
                r.value += '"';
                p += 2;
                continue;
            }
            if (s[p] == '"') {
                p = ModelSkipToWhitespace(s, p + 1);
                break;
            }
        } else if (s[p] == ' ' || s[p] == '\t') {
            break;
        }
        r.value += s[p++];
    }
    r.next = p;
    return r;
}

int ModelMethod(const std::string &value, int current)
{
    std::string v = Lower(value);
    if (v == "close")
        return 0;
    if (v == "syscommand")
        return 1;
    if (v == "sysandclose")
        return 2;
    if (v == "ctrlbreak")
        return 3;
    if (v.size() > 0 && v[0] >= '0' && v[0] <= '3')
        return v[0] - '0';
    return current;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Exact source(size + 1);
    memcpy(source.get(), data, size);
    source.get()[size] = '\0';
    const char *src = source.get();
    std::string text(src);
    const char *end = src + text.size();

    ModelValue whole = ModelRead(text, SIZE_MAX);
    for (size_t room : SizesAround({whole.value.size() + 1})) {
        Exact out(room);
        const char *next = ReadOptionValue(out.get(), src, room);
        FUZZ_CHECK(next >= src && next <= end);
        if (room == 0) {
            continue; // nothing may be written: the block has no byte
        }
        ModelValue m = ModelRead(text, room - 1);
        FUZZ_CHECK(out.Terminated());
        FUZZ_CHECK(out.TailUntouched());
        FUZZ_CHECK(out.str() == m.value);
        FUZZ_CHECK((size_t)(next - src) == m.next);
    }

    const char *skipped = SkipToWhitespace(src);
    FUZZ_CHECK((size_t)(skipped - src) == ModelSkipToWhitespace(text, 0));

    for (int current : {0, 2, 3, 7, -1})
        FUZZ_CHECK(StopMethodFromValue(src, current) == ModelMethod(text, current));
    // As the scan uses it: on the value read from the text.
    Exact scratch(TEXT_SIZE);
    ReadOptionValue(scratch.get(), src, TEXT_SIZE);
    int method = StopMethodFromValue(scratch.get(), 2);
    FUZZ_CHECK(method >= 0 && method <= 3);
    FUZZ_CHECK(method == ModelMethod(ModelRead(text, TEXT_SIZE - 1).value, 2));
    return 0;
}
