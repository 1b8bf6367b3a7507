// The BER parse routines and the binding and header frames on any octets:
// results stay inside the input, counters add up, capacities hold (every
// destination is an exactly sized heap block), and what parses builds back
// into an element that parses to the same value.
#include <memory>

#include "fuzz_support.h"

namespace {

const uint8_t* begin;
const uint8_t* end;

void checkCursor(const uint8_t* start, const uint8_t* result, int32_t before, int32_t after)
{
    if (result == nullptr)
        return;
    FUZZ_CHECK(result > start && result <= end);
    FUZZ_CHECK(after >= 0);
    FUZZ_CHECK((result - start) + after == before);
}

void parseIntegers(const uint8_t* p, int32_t n)
{
    uint8_t tag = 0;
    int32_t remaining = n;
    int32_t i32 = 0;
    const uint8_t* r = berParseInt(p, &remaining, &tag, &i32, 4);
    checkCursor(p, r, n, remaining);
    if (r != nullptr) {
        uint8_t out[8];
        int32_t room = sizeof out;
        uint8_t* w = berBuildInt(out, &room, tag, &i32, 4);
        FUZZ_CHECK(w != nullptr);
        int32_t back = ~i32;
        int32_t counter = static_cast<int32_t>(w - out);
        FUZZ_CHECK(berParseInt(out, &counter, &tag, &back, 4) == w && back == i32);
        FUZZ_CHECK(w - out <= r - p || (r - p) < 3);  // minimal: never longer than a non-empty input
    }

    remaining = n;
    uint32_t u32 = 0;
    r = berParseUnsigned(p, &remaining, &tag, &u32, 4);
    checkCursor(p, r, n, remaining);
    if (r != nullptr) {
        uint8_t out[8];
        int32_t room = sizeof out;
        uint8_t* w = berBuildUnsigned(out, &room, tag, &u32, 4);
        FUZZ_CHECK(w != nullptr);
        uint32_t back = ~u32;
        int32_t counter = static_cast<int32_t>(w - out);
        FUZZ_CHECK(berParseUnsigned(out, &counter, &tag, &back, 4) == w && back == u32);
    }

    remaining = n;
    Counter64 c64{};
    r = berParseCounter64(p, &remaining, &tag, &c64, 8);
    checkCursor(p, r, n, remaining);
    if (r != nullptr) {
        uint8_t out[12];
        int32_t room = sizeof out;
        uint8_t* w = berBuildCounter64(out, &room, tag, &c64, 8);
        FUZZ_CHECK(w != nullptr);
        Counter64 back{~c64.high, ~c64.low};
        int32_t counter = static_cast<int32_t>(w - out);
        FUZZ_CHECK(berParseCounter64(out, &counter, &tag, &back, 8) == w);
        FUZZ_CHECK(back.high == c64.high && back.low == c64.low);
    }
}

void parseString(const uint8_t* p, int32_t n, int32_t capacity)
{
    std::unique_ptr<uint8_t[]> dest(new uint8_t[static_cast<size_t>(capacity)]);
    uint8_t tag = 0;
    int32_t remaining = n;
    int32_t length = capacity;
    const uint8_t* r = berParseString(p, &remaining, &tag, dest.get(), &length);
    checkCursor(p, r, n, remaining);
    if (r == nullptr)
        return;
    FUZZ_CHECK(length >= 0 && length <= capacity);
    std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(length) + 4]);
    int32_t room = length + 4;
    uint8_t* w = berBuildString(out.get(), &room, tag, dest.get(), length);
    FUZZ_CHECK(w != nullptr);
    std::unique_ptr<uint8_t[]> back(new uint8_t[static_cast<size_t>(length) + 1]);
    int32_t backLength = length;
    int32_t counter = static_cast<int32_t>(w - out.get());
    FUZZ_CHECK(berParseString(out.get(), &counter, &tag, back.get(), &backLength) == w);
    FUZZ_CHECK(backLength == length);
    if (length > 0)
        FUZZ_CHECK(std::memcmp(back.get(), dest.get(), static_cast<size_t>(length)) == 0);
}

void parseOid(const uint8_t* p, int32_t n, int32_t capacity)
{
    std::unique_ptr<uint32_t[]> oid(new uint32_t[static_cast<size_t>(capacity > 0 ? capacity : 1)]);
    uint8_t tag = 0;
    int32_t remaining = n;
    int32_t count = capacity;
    const uint8_t* r = berParseOid(p, &remaining, &tag, oid.get(), &count);
    checkCursor(p, r, n, remaining);
    if (r == nullptr) {
        FUZZ_CHECK(count == capacity);
        return;
    }
    FUZZ_CHECK(count >= 1 && count <= capacity);
    if (count >= 2)
        FUZZ_CHECK(oid[0] <= 2 && (oid[0] == 2 || oid[1] < 40));
    uint8_t out[80];
    int32_t room = sizeof out;
    uint8_t* w = berBuildOid(out, &room, tag, oid.get(), count);
    if (w == nullptr)
        return;  // more than the octets given here
    uint32_t back[70];
    int32_t backCount = 70;
    int32_t counter = static_cast<int32_t>(w - out);
    FUZZ_CHECK(berParseOid(out, &counter, &tag, back, &backCount) == w);
    FUZZ_CHECK(normalOid(back, backCount) == normalOid(oid.get(), count));
}

void parseFrames(const uint8_t* p, int32_t n, int32_t capacity)
{
    std::unique_ptr<uint32_t[]> name(new uint32_t[static_cast<size_t>(capacity > 0 ? capacity : 1)]);
    int32_t nameLength = capacity;
    uint8_t type = 0;
    int32_t valueLength = -1;
    const uint8_t* value = nullptr;
    int32_t remaining = n;
    const uint8_t* r = decodeVarBind(p, &remaining, name.get(), &nameLength, &type, &valueLength, &value);
    checkCursor(p, r, n, remaining);
    if (r != nullptr) {
        FUZZ_CHECK(nameLength >= 1 && nameLength <= capacity);
        FUZZ_CHECK(value > p && value < r);
        FUZZ_CHECK(valueLength >= 0 && value + 2 + valueLength <= r);
        FUZZ_CHECK(r - valueLength >= value);
    }

    std::unique_ptr<uint8_t[]> community(new uint8_t[static_cast<size_t>(capacity)]);
    int32_t communityLength = capacity;
    int32_t version = 0;
    remaining = n;
    r = decodeMessageHeader(p, &remaining, community.get(), &communityLength, &version);
    if (r != nullptr) {
        FUZZ_CHECK(r > p && r <= end);
        FUZZ_CHECK(remaining >= 0 && r + remaining <= end);
        FUZZ_CHECK(communityLength >= 0 && communityLength <= capacity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    // The first octet chooses the capacities; the rest is the element.
    const int32_t capacity = data[0] % 70;
    const size_t n = size - 1;
    std::unique_ptr<uint8_t[]> input(new uint8_t[n > 0 ? n : 1]);
    if (n > 0)
        std::memcpy(input.get(), data + 1, n);
    const uint8_t* p = input.get();
    const int32_t length = static_cast<int32_t>(n);
    begin = p;
    end = p + n;

    uint32_t fieldLength = 0;
    const uint8_t* r = berParseLength(p, length, &fieldLength);
    if (r != nullptr)
        FUZZ_CHECK(r > p && r <= end && r - p <= 5);

    uint8_t tag = 0;
    int32_t remaining = length;
    r = berParseHeader(p, &remaining, &tag);
    if (r != nullptr) {
        FUZZ_CHECK(r > p && r <= end);
        FUZZ_CHECK(remaining >= 0 && r + remaining <= end);
        FUZZ_CHECK((tag & 0x1F) != 0x1F);
    }

    parseIntegers(p, length);
    parseString(p, length, capacity);
    parseOid(p, length, capacity);
    parseFrames(p, length, capacity);
    return 0;
}
