#include "script/oid_text.h"

#include <cctype>
#include <memory>
#include <new>

namespace {

// The text of an OID of up to 256 sub-identifiers fits here.
constexpr size_t LastOidTextCapacity = 256 * 11;

struct OidPrefix {
    const char* name;
    const char* replacement;
};

// Searched in this order; the first name that fits wins.
const OidPrefix OidPrefixTable[] = {
    {"ifEntry", "1.3.6.1.2.1.2.2.1"},
    {"system", "1.3.6.1.2.1.1"},
    {"mib-2", "1.3.6.1.2.1"},
    {"internet", "1.3.6.1"},
    {"enterprises", "1.3.6.1.4.1"},
};

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The prefix name matches the start of text, case-insensitively, and is followed
// by the end of the text or a dot.
bool prefixMatches(const char* text, const char* name)
{
    int i = 0;
    for (; name[i] != 0; ++i) {
        if (text[i] == 0)
            return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    }
    return text[i] == 0 || text[i] == '.';
}

}  // namespace

int parseOidText(const char* text, uint32_t* values, int32_t* count)
{
    const int32_t capacity = *count;
    int32_t stored = 0;
    int pos = 0;
    *count = 0;
    if (text == nullptr)
        return 0;

    for (const OidPrefix& prefix : OidPrefixTable) {
        if (!prefixMatches(text, prefix.name))
            continue;
        int32_t prefixCount = capacity;
        parseOidText(prefix.replacement, values, &prefixCount);
        stored = prefixCount;
        while (prefix.name[pos] != 0)
            ++pos;
        if (text[pos] == '.')
            ++pos;
        break;
    }

    while (stored < capacity && isDigit(text[pos])) {
        uint32_t value = 0;
        while (isDigit(text[pos])) {
            value = value * 10u + static_cast<uint32_t>(text[pos] - '0');  // wraps modulo 2^32
            ++pos;
        }
        values[stored++] = value;
        if (text[pos] == '.')
            ++pos;
    }
    *count = stored;
    return pos;
}

bool parseOidString(const CString& text, uint32_t* values, int32_t* count)
{
    return parseOidText(text, values, count) == text.GetLength();
}

CString formatOidText(const uint32_t* values, int32_t count)
{
    if (count <= 0)
        return CString();
    // Digits written straight into one buffer: at most ten digits and a dot
    // for each sub-identifier. (This runs several times for every variable a
    // walk reads.)
    constexpr int MaxOctetsPerValue = 11;
    char stack[LastOidTextCapacity];
    std::unique_ptr<char[]> heap;
    char* text = stack;
    const size_t needed = static_cast<size_t>(count) * MaxOctetsPerValue;
    if (needed > sizeof stack) {
        heap.reset(new (std::nothrow) char[needed]);
        if (heap == nullptr)
            return CString();
        text = heap.get();
    }
    char* p = text;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0)
            *p++ = '.';
        uint32_t value = values[i];
        // Most sub-identifiers have one or two digits.
        if (value < 10) {
            *p++ = static_cast<char>('0' + value);
            continue;
        }
        if (value < 100) {
            *p++ = static_cast<char>('0' + value / 10);
            *p++ = static_cast<char>('0' + value % 10);
            continue;
        }
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0)
            *p++ = digits[--n];
    }
    return CString(text, static_cast<int>(p - text));
}
