// Winsock's reading of an IPv4 address text, the same on every platform.
#include <cstdint>

#include "platform/hex_digits.h"
#include "platform/winsock.h"

namespace {

// One part of an address text from *p, read up to the first character that is
// no digit of its base; *p moves past it. False when it has no digits. A value
// beyond 32 bits reads as 2^32, which no part's range holds.
bool readAddressPart(const char** p, uint64_t* value)
{
    const char* s = *p;
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s += 2;
    } else if (s[0] == '0') {
        base = 8;
    }
    const char* const digits = s;
    uint64_t read = 0;
    for (;; ++s) {
        const int digit = hexDigitValue(*s);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            break;
        read = read * base + static_cast<unsigned>(digit);
        if (read > UINT32_MAX)
            read = uint64_t{UINT32_MAX} + 1;
    }
    *p = s;
    *value = read;
    return s != digits;
}

}  // namespace

bool winParseInetAddress(const char* text, in_addr_t* address)
{
    if (text == nullptr)
        return false;
    constexpr int kMaxParts = 4;
    // The largest value of the last part, by the number of parts.
    constexpr uint64_t kLastPartLimit[kMaxParts] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    uint64_t parts[kMaxParts];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == kMaxParts || !readAddressPart(&p, &parts[count]))
            return false;
        ++count;
        if (*p != '.')
            break;
        ++p;
    }
    if (*p != '\0' && *p != ' ')
        return false;
    uint32_t hostOrder = 0;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF)
            return false;
        hostOrder |= static_cast<uint32_t>(parts[i]) << (24 - 8 * i);
    }
    if (parts[count - 1] > kLastPartLimit[count - 1])
        return false;
    *address = htonl(hostOrder | static_cast<uint32_t>(parts[count - 1]));
    return true;
}

in_addr_t winInetAddr(const char* text)
{
    in_addr_t address;
    return winParseInetAddress(text, &address) ? address : INADDR_NONE;
}
