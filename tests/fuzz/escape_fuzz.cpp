// Fuzzes the escape encoding of the option value and its stored form in the
// settings file. The input up to its first NUL is the option text. Escape
// must fail only when the escaped form does not fit, and whenever it succeeds
// Unescape must give the text back. Unescape also runs on the raw input, as
// on a value from a file written by hand. The stored form goes through a
// model of the profile reader (blanks and one pair of enclosing quotes
// dropped, at most 259 bytes) and must decode to the option again.
#include "fuzz_check.h"

#include "settings/option_store.h"
#include "settings/text.h"

namespace {

std::string ModelEscape(const std::string &in)
{
    std::vector<bool> single = SingleByteMask(in);
    std::string out;
    for (size_t i = 0; i < in.size(); i++) {
        if (single[i] && (in[i] == '\\' || in[i] == '"'))
            out += '\\';
        out += in[i];
    }
    return out;
}

std::string ModelUnescape(const std::string &in)
{
    std::vector<bool> single = SingleByteMask(in);
    std::string out;
    for (size_t i = 0; i < in.size(); i++) {
        if (single[i] && in[i] == '\\' && i + 1 < in.size() &&
            (in[i + 1] == '\\' || in[i + 1] == '"')) {
            out += in[i + 1];
            i++;
            // The escaped byte is taken as it is, so the walk resumes after
            // it with a clean state; a lead byte cannot be escaped anyway.
            continue;
        }
        out += in[i];
    }
    return out;
}

// What GetPrivateProfileStringA hands back for a value as written.
std::string ModelProfileRead(const std::string &written)
{
    size_t b = written.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = written.find_last_not_of(" \t");
    std::string v = written.substr(b, e - b + 1);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return v.substr(0, TEXT_SIZE - 1);
}

void FuzzEscape(const std::string &in, const std::string &escaped)
{
    for (size_t size : SizesAround({escaped.size() + 1, in.size() + 1})) {
        Exact out(size);
        int ok = EscapeValue(out.get(), size, in.c_str());
        FUZZ_CHECK(ok == (escaped.size() + 1 <= size));
        if (size == 0)
            continue;
        // A failed escape may have written part of the text before it
        // found out; only the empty text may be left.
        FUZZ_CHECK(out.Terminated());
        FUZZ_CHECK(out.str() == (ok ? escaped : std::string()));
        FUZZ_CHECK(!ok || out.TailUntouched());
        if (!ok)
            continue;
        // The round trip, into a block just big enough and into 260 bytes.
        for (size_t back : {in.size() + 1, (size_t)TEXT_SIZE}) {
            if (back < in.size() + 1)
                continue;
            Exact plain(back);
            FUZZ_CHECK(UnescapeValue(plain.get(), back, out.get()) == 1);
            FUZZ_CHECK(plain.Terminated() && plain.TailUntouched());
            FUZZ_CHECK(plain.str() == in);
        }
    }
}

void FuzzUnescape(const std::string &in)
{
    std::string plain = ModelUnescape(in);
    for (size_t size : SizesAround({plain.size() + 1, in.size() + 1})) {
        Exact out(size);
        int ok = UnescapeValue(out.get(), size, in.c_str());
        FUZZ_CHECK(ok == (plain.size() + 1 <= size));
        if (size == 0)
            continue;
        FUZZ_CHECK(out.Terminated());
        FUZZ_CHECK(out.str() == (ok ? plain : std::string()));
        FUZZ_CHECK(!ok || out.TailUntouched());
    }
}

void FuzzStoredOption(const std::string &option, const std::string &escaped)
{
    Exact stored(STORED_OPTION_SIZE);
    int ok = FormatStoredOption(stored.get(), option.c_str());
    FUZZ_CHECK(ok == (escaped.size() <= TEXT_SIZE - 1));
    FUZZ_CHECK(ok == OptionFitsSettings(option.c_str()));
    FUZZ_CHECK(stored.Terminated() && stored.TailUntouched());
    FUZZ_CHECK(stored.str() == (ok ? "\"" + escaped + "\"" : std::string()));
    if (ok) {
        std::string read = ModelProfileRead(stored.str());
        Exact decoded(TEXT_SIZE);
        DecodeStoredOption(decoded.get(), TEXT_SIZE, read.c_str(), 1);
        FUZZ_CHECK(decoded.Terminated() && decoded.TailUntouched());
        FUZZ_CHECK(decoded.str() == option);
    }
}

// The option as a file read back: encoded or written by hand.
void FuzzDecode(const std::string &stored)
{
    std::string plain = ModelUnescape(stored);
    for (size_t size : SizesAround({plain.size() + 1, stored.size() + 1})) {
        for (int encoded : {0, 1}) {
            Exact out(size);
            DecodeStoredOption(out.get(), size, stored.c_str(), encoded);
            if (size == 0)
                continue;
            FUZZ_CHECK(out.Terminated() && out.TailUntouched());
            bool unescaped = encoded && plain.size() + 1 <= size;
            FUZZ_CHECK(out.str() == (unescaped ? plain : stored.substr(0, size - 1)));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string in = SplitAtNul(data, size, 1)[0];
    std::string escaped = ModelEscape(in);
    FUZZ_CHECK(ModelUnescape(escaped) == in);
    FuzzEscape(in, escaped);
    FuzzUnescape(in);
    FuzzStoredOption(in, escaped);
    FuzzDecode(in);
    return 0;
}
