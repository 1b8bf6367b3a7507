// Hexadecimal test data: tables of inputs and expected outputs are written as
// text like "30 82 00 05", spaces optional.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/hex_digits.h"

inline std::vector<uint8_t> hexBytes(const std::string& text)
{
    std::vector<uint8_t> out;
    int pending = -1;
    for (char ch : text) {
        const int digit = hexDigitValue(ch);
        if (digit < 0)
            continue;
        if (pending < 0) {
            pending = digit;
        } else {
            out.push_back(static_cast<uint8_t>(pending * 16 + digit));
            pending = -1;
        }
    }
    return out;
}

inline std::string hexText(const uint8_t* data, size_t length)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        if (i > 0)
            out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

inline std::string hexText(const std::vector<uint8_t>& bytes) { return hexText(bytes.data(), bytes.size()); }

// A heap copy of exactly `length` octets, so that AddressSanitizer reports any
// read or write past its end. A zero-length copy is still a distinct block.
struct ExactBuffer {
    std::unique_ptr<uint8_t[]> data;
    size_t size;
    ExactBuffer(const uint8_t* source, size_t length) : data(new uint8_t[length]), size(length)
    {
        if (length > 0)
            std::memcpy(data.get(), source, length);
    }
    explicit ExactBuffer(size_t length) : data(new uint8_t[length]), size(length)
    {
        if (length > 0)
            std::memset(data.get(), 0xEE, length);
    }
    uint8_t* get() { return data.get(); }
};
