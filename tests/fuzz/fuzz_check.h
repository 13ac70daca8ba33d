// Shared by the fuzz targets. A failed check prints what went wrong and
// aborts, which libFuzzer records as a crash together with the input. Outputs
// go to heap blocks of exactly the size handed to the routine under test, so
// AddressSanitizer reports any byte written or read past them. The reference
// pieces here (double-byte walk, ASCII folding) are written from the rules of
// the helpers, not from their code, so the targets can compare against them.
#ifndef TAVI_TESTS_FUZZ_FUZZ_CHECK_H
#define TAVI_TESTS_FUZZ_FUZZ_CHECK_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) {                                                          \
            fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__,       \
                    #condition);                                                     \
            abort();                                                                 \
        }                                                                            \
    } while (0)

// A heap block of exactly size bytes, filled with '#' so that an output left
// without its terminator is seen by Terminated(), and stray writes behind the
// terminator by Tail().
class Exact {
public:
    explicit Exact(size_t size) : size_(size), data_(new char[size])
    {
        memset(data_.get(), '#', size);
    }
    // Holds text and its terminator; the caller sizes the block to fit.
    Exact(size_t size, const std::string &text) : Exact(size)
    {
        memcpy(data_.get(), text.c_str(), text.size() + 1);
    }
    char *get() { return data_.get(); }
    size_t size() const { return size_; }
    bool Terminated() const { return memchr(data_.get(), '\0', size_) != nullptr; }
    std::string str() const
    {
        FUZZ_CHECK(Terminated());
        return std::string(data_.get());
    }
    // The bytes after the terminator, which a bounded writer must not touch.
    bool TailUntouched() const
    {
        size_t end = strlen(data_.get()) + 1;
        for (size_t i = end; i < size_; i++)
            if (data_[i] != '#')
                return false;
        return true;
    }
    bool Untouched() const
    {
        for (size_t i = 0; i < size_; i++)
            if (data_[i] != '#')
                return false;
        return true;
    }

private:
    size_t size_;
    std::unique_ptr<char[]> data_;
};

// The input cut into count texts at its NUL bytes; missing texts are empty.
inline std::vector<std::string> SplitAtNul(const uint8_t *data, size_t size, size_t count)
{
    std::vector<std::string> parts(count);
    size_t part = 0;
    for (size_t i = 0; i < size && part < count; i++) {
        if (data[i] == 0)
            part++;
        else
            parts[part].push_back((char)data[i]);
    }
    return parts;
}

// Sizes worth trying around the lengths an output may have: the empty block,
// one byte, each length with the sizes just below and above it, and the
// program's text buffer of 260.
inline std::vector<size_t> SizesAround(std::initializer_list<size_t> lengths)
{
    std::vector<size_t> sizes = {0, 1, 260};
    for (size_t n : lengths)
        for (size_t d = 0; d < 3; d++)
            if (n + d >= 1)
                sizes.push_back(n + d - 1);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

inline bool IsShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// For every byte of text, whether the double-byte walk reads it as a
// single-byte character (a lead byte and its second byte are not).
inline std::vector<bool> SingleByteMask(const std::string &text)
{
    std::vector<bool> single(text.size(), false);
    for (size_t i = 0; i < text.size(); i++) {
        if (IsShiftJisLead((unsigned char)text[i]))
            i++;
        else
            single[i] = true;
    }
    return single;
}

inline std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

// Every ASCII letter in the other case; nothing else changes.
inline std::string SwapCase(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        else if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    }
    return text;
}

#endif
