// A heap buffer of exactly the size handed to the routine under test, so
// AddressSanitizer reports any write past it. It starts filled with a
// non-NUL byte: an output that is not terminated inside the buffer makes
// str() read past the end, which is reported too.
#ifndef TAVI_TESTS_NATIVE_EXACT_BUFFER_H
#define TAVI_TESTS_NATIVE_EXACT_BUFFER_H

#include <stddef.h>
#include <string.h>

#include <memory>
#include <string>

class ExactBuffer {
public:
    explicit ExactBuffer(size_t size) : size_(size), data_(new char[size])
    {
        memset(data_.get(), '#', size);
    }
    ExactBuffer(size_t size, const std::string &contents) : ExactBuffer(size)
    {
        memcpy(data_.get(), contents.c_str(), contents.size() + 1);
    }
    char *get() { return data_.get(); }
    size_t size() const { return size_; }
    std::string str() const { return std::string(data_.get()); }

private:
    size_t size_;
    std::unique_ptr<char[]> data_;
};

#endif
