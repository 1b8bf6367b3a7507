// parseOidText, parseOidString and formatOidText on any text. Checked on
// every input, with the callers' capacity of 256 and with a small one (the
// value array an exactly sized heap block each time):
//   - the characters consumed and the sub-identifiers stored stay within the
//     text and the capacity, and agree with a plain reading of the text form
//     done here (prefix names, digit runs, one dot after each);
//   - parseOidString calls a text valid exactly when all of it, zero bytes
//     included, was consumed;
//   - a valid text formats to dotted decimal without prefix names, empty
//     parts or leading zeros, which parses back to the same values.
#include <cctype>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "script/oid_text.h"

namespace {

struct Reading {
    size_t consumed = 0;
    std::vector<uint32_t> values;
};

const char* const PrefixNames[] = {"ifentry", "system", "mib-2", "internet", "enterprises"};
const std::vector<uint32_t> PrefixValues[] = {
    {1, 3, 6, 1, 2, 1, 2, 2, 1}, {1, 3, 6, 1, 2, 1, 1}, {1, 3, 6, 1, 2, 1}, {1, 3, 6, 1}, {1, 3, 6, 1, 4, 1},
};

// text is the part before the first zero byte.
Reading reference(const std::string& text, size_t capacity)
{
    Reading r;
    std::string lower(text);
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (size_t i = 0; i < 5; ++i) {
        const std::string name = PrefixNames[i];
        if (lower.compare(0, name.size(), name) != 0)
            continue;
        if (lower.size() > name.size() && lower[name.size()] != '.')
            continue;
        r.values.assign(PrefixValues[i].begin(),
                        PrefixValues[i].begin() + static_cast<long>(std::min(capacity, PrefixValues[i].size())));
        r.consumed = name.size() + (lower.size() > name.size() ? 1 : 0);
        break;
    }
    size_t at = r.consumed;
    while (r.values.size() < capacity && at < text.size() && text[at] >= '0' && text[at] <= '9') {
        uint64_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            value = (value * 10 + static_cast<uint64_t>(text[at++] - '0')) & 0xFFFFFFFFu;
        r.values.push_back(static_cast<uint32_t>(value));
        if (at < text.size() && text[at] == '.')
            ++at;
    }
    r.consumed = at;
    return r;
}

// Parses with exactly capacity entries of room; checks against the reading.
Reading parsed(const char* text, int32_t capacity, const Reading& expected)
{
    std::unique_ptr<uint32_t[]> values(new uint32_t[static_cast<size_t>(capacity)]);
    int32_t count = capacity;
    const int consumed = parseOidText(text, values.get(), &count);
    FUZZ_CHECK(consumed >= 0 && static_cast<size_t>(consumed) <= std::strlen(text));
    FUZZ_CHECK(count >= 0 && count <= capacity);
    FUZZ_CHECK(static_cast<size_t>(consumed) == expected.consumed);
    FUZZ_CHECK(static_cast<size_t>(count) == expected.values.size());
    Reading r;
    r.consumed = static_cast<size_t>(consumed);
    r.values.assign(values.get(), values.get() + count);
    FUZZ_CHECK(r.values == expected.values);
    return r;
}

void checkFormatted(const std::vector<uint32_t>& values)
{
    const CString formatted = formatOidText(values.data(), static_cast<int32_t>(values.size()));
    const std::string text(formatted.GetString(), static_cast<size_t>(formatted.GetLength()));
    // Dotted decimal: non-empty parts, no leading zeros, no prefix names.
    size_t parts = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('.', start);
        if (end == std::string::npos)
            end = text.size();
        FUZZ_CHECK(end > start);
        FUZZ_CHECK(text[start] != '0' || end == start + 1);
        for (size_t i = start; i < end; ++i)
            FUZZ_CHECK(text[i] >= '0' && text[i] <= '9');
        ++parts;
        start = end + 1;
        FUZZ_CHECK(end == text.size() || start < text.size());  // no final dot
    }
    FUZZ_CHECK(parts == values.size());

    std::unique_ptr<uint32_t[]> back(new uint32_t[256]);
    int32_t count = 256;
    FUZZ_CHECK(parseOidString(formatted, back.get(), &count));
    FUZZ_CHECK(static_cast<size_t>(count) == values.size());
    FUZZ_CHECK(std::vector<uint32_t>(back.get(), back.get() + count) == values);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    // A zero-terminated copy of exactly the input and its terminator.
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size > 0)
        std::memcpy(text.get(), data, size);
    text[size] = 0;
    const std::string upToZero(text.get());

    const Reading full = parsed(text.get(), 256, reference(upToZero, 256));
    const int32_t small = static_cast<int32_t>(size % 8);
    parsed(text.get(), small, reference(upToZero, static_cast<size_t>(small)));

    // The host string keeps zero bytes: then the text is never valid.
    const CString host(text.get(), static_cast<int>(size));
    std::unique_ptr<uint32_t[]> values(new uint32_t[256]);
    int32_t count = 256;
    const bool valid = parseOidString(host, values.get(), &count);
    FUZZ_CHECK(valid == (upToZero.size() == size && full.consumed == size));
    FUZZ_CHECK(static_cast<size_t>(count) == full.values.size());
    if (valid)
        checkFormatted(full.values);
    return 0;
}
