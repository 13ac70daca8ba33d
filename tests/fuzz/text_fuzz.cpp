// Fuzzes the text and path helpers. The input is cut at its NUL bytes into
// two texts, a and b. Each helper runs on exact-size blocks at every size
// around the lengths that matter and is compared with a model of its rule;
// the comparisons are checked for reflexivity and symmetry as well.
#include "fuzz_check.h"

#include "settings/text.h"

namespace {

void FuzzCopyText(const std::string &a)
{
    for (size_t size : SizesAround({a.size() + 1})) {
        Exact out(size);
        int fitted = CopyText(out.get(), size, a.c_str());
        if (size == 0) {
            FUZZ_CHECK(fitted == 0);
            continue;
        }
        FUZZ_CHECK(out.Terminated() && out.TailUntouched());
        FUZZ_CHECK(out.str() == a.substr(0, size - 1));
        FUZZ_CHECK(fitted == (a.size() + 1 <= size));
    }
}

void FuzzAppendText(const std::string &a, const std::string &b)
{
    for (size_t size : SizesAround({a.size() + 1, a.size() + b.size() + 1})) {
        // A block that already holds a, when a fits.
        if (a.size() + 1 <= size) {
            Exact out(size, a);
            int fitted = AppendText(out.get(), size, b.c_str());
            FUZZ_CHECK(fitted == (a.size() + b.size() + 1 <= size));
            FUZZ_CHECK(out.Terminated() && out.TailUntouched());
            FUZZ_CHECK(out.str() == (fitted ? a + b : a));
        }
        // A block without a terminator: nothing may be appended to it, and
        // nothing read past it.
        Exact unterminated(size);
        FUZZ_CHECK(AppendText(unterminated.get(), size, b.c_str()) == 0);
        FUZZ_CHECK(unterminated.Untouched());
    }
}

// Equal over the first n bytes, a text's terminator counting as one byte;
// la and lb are the texts folded to lower case.
int ModelEqualNI(const std::string &la, const std::string &lb, size_t n)
{
    size_t x = std::min(n, la.size() + 1);
    size_t y = std::min(n, lb.size() + 1);
    return x == y && la.compare(0, x, lb, 0, x) == 0;
}

void FuzzCompare(const std::string &a, const std::string &b)
{
    std::string swapped = SwapCase(a);
    std::string la = Lower(a), lb = Lower(b);
    FUZZ_CHECK(TextEqualI(a.c_str(), a.c_str()) == 1);
    FUZZ_CHECK(TextEqualI(a.c_str(), swapped.c_str()) == 1);
    int ab = TextEqualI(a.c_str(), b.c_str());
    FUZZ_CHECK(ab == 0 || ab == 1);
    FUZZ_CHECK(ab == TextEqualI(b.c_str(), a.c_str()));
    FUZZ_CHECK(ab == ModelEqualNI(la, lb, SIZE_MAX));

    size_t common = 0;
    while (common < la.size() && common < lb.size() && la[common] == lb[common])
        common++;
    for (size_t n : SizesAround({common + 1, a.size() + 1, b.size() + 1})) {
        int equal = TextEqualNI(a.c_str(), b.c_str(), n);
        FUZZ_CHECK(equal == ModelEqualNI(la, lb, n));
        FUZZ_CHECK(equal == TextEqualNI(b.c_str(), a.c_str(), n));
        FUZZ_CHECK(TextEqualNI(a.c_str(), swapped.c_str(), n) == 1);
    }
    FUZZ_CHECK(TextEqualNI(a.c_str(), b.c_str(), SIZE_MAX) == ab);
}

void FuzzCutAtLastBackslash(const std::string &a)
{
    std::vector<bool> single = SingleByteMask(a);
    size_t cut = a.size();
    for (size_t i = 0; i < a.size(); i++)
        if (single[i] && a[i] == '\\')
            cut = i;

    Exact text(a.size() + 1, a);
    CutAtLastBackslash(text.get());
    std::string result = text.str();
    FUZZ_CHECK(result == a.substr(0, cut));
    // A prefix ended at a backslash read as a character of its own, and no
    // such backslash after it; or the whole text when there is none.
    FUZZ_CHECK(a.compare(0, result.size(), result) == 0);
    if (result.size() < a.size()) {
        FUZZ_CHECK(a[result.size()] == '\\' && single[result.size()]);
        for (size_t i = result.size() + 1; i < a.size(); i++)
            FUZZ_CHECK(!(single[i] && a[i] == '\\'));
    }
    // Only the backslash itself became the terminator.
    if (result.size() < a.size())
        FUZZ_CHECK(memcmp(text.get() + cut + 1, a.c_str() + cut + 1, a.size() - cut) == 0);
}

void FuzzBaseName(const std::string &a)
{
    std::vector<bool> single = SingleByteMask(a);
    size_t start = 0;
    for (size_t i = 0; i < a.size(); i++)
        if (single[i] && (a[i] == '\\' || a[i] == ':'))
            start = i + 1;
    // A dot is never a second byte of a valid double-byte character, so the
    // name ends at the first dot byte.
    std::string name = a.substr(start);
    name = name.substr(0, name.find('.'));

    for (size_t size : SizesAround({name.size() + 1})) {
        Exact out(size);
        BaseNameWithoutExtension(out.get(), size, a.c_str());
        if (size == 0)
            continue;
        FUZZ_CHECK(out.Terminated() && out.TailUntouched());
        FUZZ_CHECK(out.str() == name.substr(0, size - 1));
    }
}

void FuzzExtension(const std::string &a)
{
    Exact path(a.size() + 1, a);
    const char *ext = FindExtension(path.get());
    FUZZ_CHECK(ext >= path.get() && ext <= path.get() + a.size());

    size_t expected = 0;
    for (size_t i = a.size(); i-- > 1;) {
        if (a[i] == '.') {
            expected = i + 1;
            break;
        }
        if (a[i] == '\\' || a[i] == '/' || a[i] == ':') {
            expected = a.size();
            break;
        }
    }
    FUZZ_CHECK((size_t)(ext - path.get()) == expected);

    std::string e = Lower(a.substr(expected));
    int program = HasProgramExtension(path.get());
    FUZZ_CHECK(program == (e == "exe" || e == "bat"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = SplitAtNul(data, size, 2);
    const std::string &a = parts[0];
    const std::string &b = parts[1];

    for (int c = 0; c < 256; c++)
        FUZZ_CHECK(IsLeadByte((unsigned char)c) == (int)IsShiftJisLead((unsigned char)c));
    FuzzCopyText(a);
    FuzzAppendText(a, b);
    FuzzCompare(a, b);
    FuzzCutAtLastBackslash(a);
    FuzzBaseName(a);
    FuzzExtension(a);
    return 0;
}
