// BER element routines: tables of hexadecimal inputs and outputs, every
// prefix of every valid input read from an exactly sized heap buffer, and
// every build into every capacity up to the size needed.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "snmp/codec/ber.h"
#include "tests/support/hex.h"

namespace {

// ---- length fields -------------------------------------------------------

struct ParseLengthCase {
    const char* input;
    bool ok;
    uint32_t length;
    int consumed;
};

const ParseLengthCase parseLengthCases[] = {
    {"00", true, 0, 1},
    {"05", true, 5, 1},
    {"7F", true, 127, 1},
    {"81 80", true, 128, 2},
    {"81 FF", true, 255, 2},
    {"82 01 00", true, 256, 3},
    {"82 11 94", true, 4500, 3},
    {"84 00 00 00 05", true, 5, 5},
    {"84 FF FF FF FF", true, 0xFFFFFFFFu, 5},
    {"80", false, 0, 0},              // indefinite form
    {"85 00 00 00 00 05", false, 0, 0},  // more than four length octets
    {"81", false, 0, 0},              // length octets missing
    {"82 01", false, 0, 0},
    {"84 00 00 00", false, 0, 0},
};

TEST(BerParseLength, Table)
{
    for (const auto& c : parseLengthCases) {
        SCOPED_TRACE(c.input);
        const auto bytes = hexBytes(c.input);
        ExactBuffer buffer(bytes.data(), bytes.size());
        uint32_t length = 0xDEADBEEF;
        const uint8_t* end = berParseLength(buffer.get(), static_cast<int32_t>(buffer.size), &length);
        if (c.ok) {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(length, c.length);
            EXPECT_EQ(end - buffer.get(), c.consumed);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(length, 0xDEADBEEF);
        }
    }
}

TEST(BerParseLength, NothingAvailable)
{
    uint8_t octet = 0x05;
    uint32_t length = 0;
    EXPECT_EQ(berParseLength(&octet, 0, &length), nullptr);
    EXPECT_EQ(berParseLength(&octet, -1, &length), nullptr);
}

struct BuildLengthCase {
    uint32_t length;
    const char* output;  // null: refused
};

const BuildLengthCase buildLengthCases[] = {
    {0, "00"},          {5, "05"},          {127, "7F"},      {128, "81 80"},
    {255, "81 FF"},     {256, "82 01 00"},  {4500, "82 11 94"}, {65535, "82 FF FF"},
    {65536, nullptr},   {0xFFFFFFFFu, nullptr},
};

TEST(BerBuildLength, TableAndEveryCapacity)
{
    for (const auto& c : buildLengthCases) {
        SCOPED_TRACE(c.length);
        if (c.output == nullptr) {
            uint8_t room[8];
            int32_t remaining = sizeof room;
            EXPECT_EQ(berBuildLength(room, &remaining, c.length), nullptr);
            continue;
        }
        const auto expected = hexBytes(c.output);
        for (size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
            ExactBuffer buffer(capacity);
            int32_t remaining = static_cast<int32_t>(capacity);
            uint8_t* end = berBuildLength(buffer.get(), &remaining, c.length);
            if (capacity < expected.size()) {
                EXPECT_EQ(end, nullptr) << "capacity " << capacity;
                continue;
            }
            ASSERT_NE(end, nullptr) << "capacity " << capacity;
            EXPECT_EQ(hexText(buffer.get(), end - buffer.get()), hexText(expected));
            EXPECT_EQ(remaining, static_cast<int32_t>(capacity - expected.size()));
        }
    }
}

// ---- headers -------------------------------------------------------------

struct ParseHeaderCase {
    const char* input;
    int32_t counter;  // -1: the input's size
    bool ok;
    uint8_t tag;
    int32_t contentLength;
    int headerSize;
};

const ParseHeaderCase parseHeaderCases[] = {
    {"30 00", -1, true, 0x30, 0, 2},
    {"30 03 02 01 00", -1, true, 0x30, 3, 2},
    {"A2 81 80", 131, true, 0xA2, 128, 3},
    {"30 82 00 05 00 00 00 00 00", -1, true, 0x30, 5, 4},
    {"30 84 00 00 00 01 00", -1, true, 0x30, 1, 6},
    {"30 03 02 01 00 FF FF", -1, true, 0x30, 3, 2},  // counter larger than the element
    {"1F 00", -1, false, 0, 0, 0},                    // high-tag-number form
    {"3F 00", -1, false, 0, 0, 0},
    {"30 03 02 01", -1, false, 0, 0, 0},              // runs past the counter by one
    {"30 80 00 00", -1, false, 0, 0, 0},              // indefinite length
    {"30 84 FF FF FF FF 00", -1, false, 0, 0, 0},     // length would wrap a 32-bit sum
    {"30 84 FF FF FF FD 00", -1, false, 0, 0, 0},
    {"30", -1, false, 0, 0, 0},                       // no length octet
    {"30 00", 0, false, 0, 0, 0},                     // zero counter
    {"30 00", -3, false, 0, 0, 0},                    // negative counter
};

TEST(BerParseHeader, Table)
{
    for (const auto& c : parseHeaderCases) {
        SCOPED_TRACE(c.input);
        auto bytes = hexBytes(c.input);
        const int32_t counter = c.counter < 0 && c.counter != -3 ? static_cast<int32_t>(bytes.size()) : c.counter;
        if (counter > static_cast<int32_t>(bytes.size()))
            bytes.resize(static_cast<size_t>(counter), 0);
        ExactBuffer buffer(bytes.data(), bytes.size());
        int32_t remaining = counter;
        uint8_t tag = 0;
        const uint8_t* content = berParseHeader(buffer.get(), &remaining, &tag);
        if (c.ok) {
            ASSERT_NE(content, nullptr);
            EXPECT_EQ(tag, c.tag);
            EXPECT_EQ(remaining, c.contentLength);
            EXPECT_EQ(content - buffer.get(), c.headerSize);
        } else {
            EXPECT_EQ(content, nullptr);
        }
    }
}

TEST(BerBuildHeader, MinimalForms)
{
    const struct {
        uint8_t tag;
        uint32_t length;
        const char* output;
    } cases[] = {
        {0x30, 0, "30 00"}, {0xA0, 27, "A0 1B"}, {0xA2, 156, "A2 81 9C"}, {0x04, 300, "04 82 01 2C"},
    };
    for (const auto& c : cases) {
        const auto expected = hexBytes(c.output);
        for (size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
            ExactBuffer buffer(capacity);
            int32_t remaining = static_cast<int32_t>(capacity);
            uint8_t* end = berBuildHeader(buffer.get(), &remaining, c.tag, c.length);
            if (capacity < expected.size()) {
                EXPECT_EQ(end, nullptr);
                continue;
            }
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(hexText(buffer.get(), end - buffer.get()), hexText(expected));
            EXPECT_EQ(remaining, static_cast<int32_t>(capacity - expected.size()));
        }
    }
}

TEST(BerBuildSequence, AlwaysFourOctets)
{
    const struct {
        uint32_t length;
        const char* output;
    } cases[] = {{0, "30 82 00 00"}, {5, "30 82 00 05"}, {300, "30 82 01 2C"}, {65535, "30 82 FF FF"}};
    for (const auto& c : cases) {
        uint8_t out[4];
        int32_t remaining = 4;
        uint8_t* end = berBuildSequence(out, &remaining, 0x30, c.length);
        ASSERT_EQ(end, out + 4);
        EXPECT_EQ(hexText(out, 4), c.output);
        EXPECT_EQ(remaining, 0);
    }
}

TEST(BerBuildSequence, TooLittleRoomLeavesCounter)
{
    uint8_t out[3] = {0xEE, 0xEE, 0xEE};
    int32_t remaining = 3;
    EXPECT_EQ(berBuildSequence(out, &remaining, 0x30, 5), nullptr);
    EXPECT_EQ(remaining, 3);
    EXPECT_EQ(hexText(out, 3), "EE EE EE");
    uint8_t big[8];
    remaining = 8;
    EXPECT_EQ(berBuildSequence(big, &remaining, 0x30, 65536), nullptr);
}

// ---- integers ------------------------------------------------------------

struct ParseIntCase {
    const char* input;
    bool ok;
    uint8_t tag;
    int32_t value;
};

const ParseIntCase parseIntCases[] = {
    {"02 01 00", true, 0x02, 0},
    {"02 01 FF", true, 0x02, -1},
    {"02 02 00 FF", true, 0x02, 255},
    {"02 01 7F", true, 0x02, 127},
    {"02 02 00 80", true, 0x02, 128},
    {"02 02 FF 7F", true, 0x02, -129},
    {"02 04 7F FF FF FF", true, 0x02, INT32_MAX},
    {"02 04 80 00 00 00", true, 0x02, INT32_MIN},
    {"02 81 01 05", true, 0x02, 5},        // long length form is accepted
    {"41 01 05", true, 0x41, 5},           // the tag is stored, not checked
    // By value: redundant leading octets, however many, change nothing.
    {"02 05 FF 80 00 00 00", true, 0x02, INT32_MIN},  // as pyasn1 writes it
    {"02 05 00 00 00 00 01", true, 0x02, 1},
    {"02 06 FF FF FF FF FF FF", true, 0x02, -1},
    {"02 05 00 7F FF FF FF", true, 0x02, INT32_MAX},
    {"02 05 00 80 00 00 00", false, 0, 0}, // 2^31 does not fit
    {"02 05 FF 7F FF FF FF", false, 0, 0}, // nor -2^31 - 1
    {"02 00", false, 0, 0},                // no content: no value
    {"02 02 01", false, 0, 0},             // runs past the counter
    {"02", false, 0, 0},
    {"02 80 01 00 00", false, 0, 0},
};

TEST(BerParseInt, Table)
{
    for (const auto& c : parseIntCases) {
        SCOPED_TRACE(c.input);
        const auto bytes = hexBytes(c.input);
        ExactBuffer buffer(bytes.data(), bytes.size());
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        int32_t value = 0x5A5A5A5A;
        const uint8_t* end = berParseInt(buffer.get(), &remaining, &tag, &value, sizeof value);
        if (c.ok) {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(tag, c.tag);
            EXPECT_EQ(end, buffer.get() + bytes.size());
            EXPECT_EQ(remaining, 0);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(value, 0x5A5A5A5A);
        }
    }
}

TEST(BerIntegers, WrongWidthRefusedBeforeReading)
{
    // A null position would crash if anything were read.
    int32_t remaining = 10;
    uint8_t tag = 0;
    int32_t value = 0;
    uint32_t unsignedValue = 0;
    Counter64 counter{};
    for (int32_t width : {0, 1, 2, 3, 5, 8, -4}) {
        EXPECT_EQ(berParseInt(nullptr, &remaining, &tag, &value, width), nullptr);
        EXPECT_EQ(berParseUnsigned(nullptr, &remaining, &tag, &unsignedValue, width), nullptr);
        EXPECT_EQ(berBuildInt(nullptr, &remaining, 2, &value, width), nullptr);
        EXPECT_EQ(berBuildUnsigned(nullptr, &remaining, 0x41, &unsignedValue, width), nullptr);
    }
    for (int32_t width : {0, 4, 7, 9, 16}) {
        EXPECT_EQ(berParseCounter64(nullptr, &remaining, &tag, &counter, width), nullptr);
        EXPECT_EQ(berBuildCounter64(nullptr, &remaining, 0x46, &counter, width), nullptr);
    }
    EXPECT_EQ(remaining, 10);
}

struct ParseUnsignedCase {
    const char* input;
    bool ok;
    uint32_t value;
};

const ParseUnsignedCase parseUnsignedCases[] = {
    {"41 01 00", true, 0},
    {"41 05 00 FF FF FF FF", true, 0xFFFFFFFFu},
    {"41 01 FF", true, 0xFFFFFFFFu},  // sign-extended
    {"41 02 FF 00", true, 0xFFFFFF00u},
    {"41 04 80 00 00 00", true, 0x80000000u},
    {"41 05 00 80 00 00 00", true, 0x80000000u},
    {"43 03 01 00 00", true, 0x10000u},
    {"41 06 00 00 00 00 00 01", true, 1},
    {"41 07 00 00 00 FF FF FF FF", true, 0xFFFFFFFFu},
    {"41 05 FF FF FF FF FF", true, 0xFFFFFFFFu},  // -1 with a redundant octet: as 41 01 FF
    {"41 00", false, 0},
    {"41 05 01 00 00 00 00", false, 0},  // 2^32 does not fit
    {"41 05 FF 7F FF FF FF", false, 0},  // nor a negative number of five octets
    {"41 05 00 FF FF FF", false, 0},
};

TEST(BerParseUnsigned, Table)
{
    for (const auto& c : parseUnsignedCases) {
        SCOPED_TRACE(c.input);
        const auto bytes = hexBytes(c.input);
        ExactBuffer buffer(bytes.data(), bytes.size());
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        uint32_t value = 0x5A5A5A5A;
        const uint8_t* end = berParseUnsigned(buffer.get(), &remaining, &tag, &value, sizeof value);
        if (c.ok) {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(tag, bytes[0]);
            EXPECT_EQ(remaining, 0);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(value, 0x5A5A5A5Au);
        }
    }
}

struct ParseCounter64Case {
    const char* input;
    bool ok;
    uint32_t high;
    uint32_t low;
};

const ParseCounter64Case parseCounter64Cases[] = {
    {"46 01 00", true, 0, 0},
    {"46 01 01", true, 0, 1},
    {"46 02 01 00", true, 0, 0x100},
    {"46 05 01 00 00 00 00", true, 1, 0},
    {"46 08 01 02 03 04 05 06 07 08", true, 0x01020304, 0x05060708},
    {"46 09 00 80 00 00 00 00 00 00 00", true, 0x80000000, 0},
    {"46 09 00 FF FF FF FF FF FF FF FF", true, 0xFFFFFFFF, 0xFFFFFFFF},
    {"46 01 FF", true, 0xFFFFFFFF, 0xFFFFFFFF},  // sign-extended
    {"46 0A 00 00 00 00 00 00 00 00 00 05", true, 0, 5},
    {"46 00", false, 0, 0},
    {"46 09 01 00 00 00 00 00 00 00 00", false, 0, 0},
    {"46 0A 00 01 00 00 00 00 00 00 00 00", false, 0, 0},
    {"46 03 01 02", false, 0, 0},
};

TEST(BerParseCounter64, Table)
{
    for (const auto& c : parseCounter64Cases) {
        SCOPED_TRACE(c.input);
        const auto bytes = hexBytes(c.input);
        ExactBuffer buffer(bytes.data(), bytes.size());
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        Counter64 value{0x5A5A5A5A, 0x5A5A5A5A};
        const uint8_t* end = berParseCounter64(buffer.get(), &remaining, &tag, &value, sizeof value);
        if (c.ok) {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(value.high, c.high);
            EXPECT_EQ(value.low, c.low);
            EXPECT_EQ(remaining, 0);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(value.high, 0x5A5A5A5Au);
        }
    }
}

// Runs build for every capacity from 0 to the expected size + 1, each time in
// an exactly sized heap buffer: below the size it must fail, from it on it
// must write exactly the expected octets.
void checkEveryCapacity(const std::string& expectedHex, const std::function<uint8_t*(uint8_t*, int32_t*)>& build)
{
    const auto expected = hexBytes(expectedHex);
    for (size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        ExactBuffer buffer(capacity);
        int32_t remaining = static_cast<int32_t>(capacity);
        uint8_t* end = build(buffer.get(), &remaining);
        if (capacity < expected.size()) {
            EXPECT_EQ(end, nullptr);
            continue;
        }
        ASSERT_NE(end, nullptr);
        EXPECT_EQ(hexText(buffer.get(), end - buffer.get()), hexText(expected));
        EXPECT_EQ(remaining, static_cast<int32_t>(capacity - expected.size()));
    }
}

TEST(BerBuildInt, Table)
{
    const struct {
        int32_t value;
        const char* output;
    } cases[] = {
        {0, "02 01 00"},          {127, "02 01 7F"},          {128, "02 02 00 80"},
        {-1, "02 01 FF"},         {-128, "02 01 80"},         {-129, "02 02 FF 7F"},
        {256, "02 02 01 00"},     {0x7FFFFFFF, "02 04 7F FF FF FF"}, {INT32_MIN, "02 04 80 00 00 00"},
        {0x800000, "02 04 00 80 00 00"}, {-8388609, "02 04 FF 7F FF FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        checkEveryCapacity(c.output, [&](uint8_t* p, int32_t* remaining) {
            return berBuildInt(p, remaining, 0x02, &c.value, sizeof c.value);
        });
    }
}

TEST(BerBuildUnsigned, Table)
{
    const struct {
        uint32_t value;
        const char* output;
    } cases[] = {
        {0, "41 01 00"},
        {0x80, "41 02 00 80"},
        {0x7FFFFFFF, "41 04 7F FF FF FF"},
        {0x80000000u, "41 05 00 80 00 00 00"},
        {0xFF800000u, "41 05 00 FF 80 00 00"},
        {0xFFFFFFFFu, "41 05 00 FF FF FF FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        checkEveryCapacity(c.output, [&](uint8_t* p, int32_t* remaining) {
            return berBuildUnsigned(p, remaining, 0x41, &c.value, sizeof c.value);
        });
    }
}

TEST(BerBuildCounter64, Table)
{
    const struct {
        Counter64 value;
        const char* output;
    } cases[] = {
        {{0, 0}, "46 01 00"},
        {{0, 0x80}, "46 02 00 80"},
        {{0, 0x100}, "46 02 01 00"},
        {{1, 0}, "46 05 01 00 00 00 00"},
        {{0x7FFFFFFF, 0xFFFFFFFF}, "46 08 7F FF FF FF FF FF FF FF"},
        {{0x80000000, 0}, "46 09 00 80 00 00 00 00 00 00 00"},
        {{0xFFFFFFFF, 0xFFFFFFFF}, "46 09 00 FF FF FF FF FF FF FF FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        checkEveryCapacity(c.output, [&](uint8_t* p, int32_t* remaining) {
            return berBuildCounter64(p, remaining, 0x46, &c.value, sizeof c.value);
        });
    }
}

TEST(BerIntegers, RoundTrip)
{
    const int32_t signedValues[] = {0, 1, -1, 127, 128, -128, -129, 255, 256, 32767, -32768, 0x7FFFFF, 0x800000,
                                    -0x800000, -0x800001, INT32_MAX, INT32_MIN};
    for (int32_t v : signedValues) {
        uint8_t out[8];
        int32_t remaining = sizeof out;
        uint8_t* end = berBuildInt(out, &remaining, 0x02, &v, 4);
        ASSERT_NE(end, nullptr);
        int32_t counter = static_cast<int32_t>(end - out);
        uint8_t tag = 0;
        int32_t back = ~v;
        ASSERT_EQ(berParseInt(out, &counter, &tag, &back, 4), end);
        EXPECT_EQ(back, v);
    }
    const uint32_t unsignedValues[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFFFFFF, 0x80000000u, 0xFF800000u, 0xFFFFFFFFu};
    for (uint32_t v : unsignedValues) {
        uint8_t out[8];
        int32_t remaining = sizeof out;
        uint8_t* end = berBuildUnsigned(out, &remaining, 0x42, &v, 4);
        ASSERT_NE(end, nullptr);
        int32_t counter = static_cast<int32_t>(end - out);
        uint8_t tag = 0;
        uint32_t back = ~v;
        ASSERT_EQ(berParseUnsigned(out, &counter, &tag, &back, 4), end);
        EXPECT_EQ(back, v);
    }
    const Counter64 counters[] = {{0, 0}, {0, 1}, {0, 0xFFFFFFFF}, {1, 0}, {0x7FFFFFFF, 0xFFFFFFFF},
                                  {0x80000000, 0}, {0xFFFFFFFF, 0xFFFFFFFF}, {0x00800000, 0}};
    for (const Counter64& v : counters) {
        uint8_t out[12];
        int32_t remaining = sizeof out;
        uint8_t* end = berBuildCounter64(out, &remaining, 0x46, &v, 8);
        ASSERT_NE(end, nullptr);
        int32_t counter = static_cast<int32_t>(end - out);
        uint8_t tag = 0;
        Counter64 back{~v.high, ~v.low};
        ASSERT_EQ(berParseCounter64(out, &counter, &tag, &back, 8), end);
        EXPECT_EQ(back.high, v.high);
        EXPECT_EQ(back.low, v.low);
    }
}

// ---- strings -------------------------------------------------------------

TEST(BerParseString, CapacityAndNoTerminator)
{
    const auto bytes = hexBytes("04 03 61 62 63");
    const struct {
        int32_t capacity;
        bool ok;
    } cases[] = {{3, true}, {4, true}, {2, false}, {0, false}, {-1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        uint8_t dest[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        int32_t length = c.capacity;
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        const uint8_t* end = berParseString(bytes.data(), &remaining, &tag, dest, &length);
        if (c.ok) {
            ASSERT_EQ(end, bytes.data() + bytes.size());
            EXPECT_EQ(length, 3);
            EXPECT_EQ(tag, 0x04);
            EXPECT_EQ(hexText(dest, 5), "61 62 63 EE EE");
            EXPECT_EQ(remaining, 0);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(hexText(dest, 5), "EE EE EE EE EE");
        }
    }
}

TEST(BerParseString, Table)
{
    const struct {
        const char* input;
        bool ok;
        const char* content;
    } cases[] = {
        {"04 00", true, ""},
        {"40 04 7F 00 00 01", true, "7F 00 00 01"},
        {"04 81 01 41", true, "41"},
        {"04 04 7F 00 00", false, nullptr},
        {"04 84 80 00 00 00 00", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto bytes = hexBytes(c.input);
        ExactBuffer buffer(bytes.data(), bytes.size());
        uint8_t dest[16];
        int32_t length = sizeof dest;
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        const uint8_t* end = berParseString(buffer.get(), &remaining, &tag, dest, &length);
        if (c.ok) {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(hexText(dest, static_cast<size_t>(length)), hexText(hexBytes(c.content)));
        } else {
            EXPECT_EQ(end, nullptr);
        }
    }
}

TEST(BerBuildString, EveryCapacity)
{
    const uint8_t text[] = {'p', 'u', 'b', 'l', 'i', 'c'};
    checkEveryCapacity("04 06 70 75 62 6C 69 63", [&](uint8_t* p, int32_t* remaining) {
        return berBuildString(p, remaining, 0x04, text, 6);
    });
    checkEveryCapacity("04 00", [&](uint8_t* p, int32_t* remaining) {
        return berBuildString(p, remaining, 0x04, nullptr, 0);
    });
    std::vector<uint8_t> big(200, 0x41);
    std::string expected = "04 81 C8";
    for (int i = 0; i < 200; ++i)
        expected += " 41";
    checkEveryCapacity(expected, [&](uint8_t* p, int32_t* remaining) {
        return berBuildString(p, remaining, 0x04, big.data(), 200);
    });
}

TEST(BerBuildString, RefusesNegativeOrMissingSource)
{
    uint8_t out[8] = {};
    int32_t remaining = 8;
    EXPECT_EQ(berBuildString(out, &remaining, 0x04, out, -1), nullptr);
    EXPECT_EQ(berBuildString(out, &remaining, 0x04, nullptr, 3), nullptr);
}

// ---- object identifiers -------------------------------------------------

struct ParseOidCase {
    const char* input;
    int32_t capacity;
    bool ok;
    std::vector<uint32_t> oid;
};

const ParseOidCase parseOidCases[] = {
    {"06 01 2B", 64, true, {1, 3}},
    {"06 00", 64, true, {0}},
    {"06 07 2B 06 01 04 01 82 37", 64, true, {1, 3, 6, 1, 4, 1, 311}},
    {"06 08 2B 06 01 02 01 01 03 00", 64, true, {1, 3, 6, 1, 2, 1, 1, 3, 0}},
    {"06 01 00", 64, true, {0, 0}},
    {"06 01 27", 64, true, {0, 39}},
    {"06 01 4F", 64, true, {1, 39}},
    {"06 01 50", 64, true, {2, 0}},
    {"06 02 81 34", 64, true, {2, 100}},  // first value 180
    {"06 05 8F FF FF FF 7F", 64, true, {2, 0xFFFFFFFFu - 80}},
    {"06 06 2B 8F FF FF FF 7F", 64, true, {1, 3, 0xFFFFFFFFu}},
    {"06 03 2B 80 06", 64, true, {1, 3, 6}},  // a padded sub-identifier keeps its value
    {"06 04 2B 06 01 04", 5, true, {1, 3, 6, 1, 4}},
    {"06 04 2B 06 01 04", 4, false, {}},  // more sub-identifiers than the capacity
    {"06 04 2B 06 01 04", 3, false, {}},
    {"06 01 2B", 1, false, {}},
    {"06 06 2B 90 80 80 80 00", 64, false, {}},  // needs more than 32 bits
    {"06 02 2B 86", 64, false, {}},              // ends inside a sub-identifier
    {"06 01 86", 64, false, {}},
    {"06 03 2B 06", 64, false, {}},              // runs past the counter
};

TEST(BerParseOid, Table)
{
    for (const auto& c : parseOidCases) {
        SCOPED_TRACE(c.input + std::string(" capacity ") + std::to_string(c.capacity));
        const auto bytes = hexBytes(c.input);
        ExactBuffer buffer(bytes.data(), bytes.size());
        std::vector<uint32_t> oid(static_cast<size_t>(std::max(c.capacity, 1)), 0xA5A5A5A5u);
        int32_t count = c.capacity;
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        const uint8_t* end = berParseOid(buffer.get(), &remaining, &tag, oid.data(), &count);
        if (c.ok) {
            ASSERT_EQ(end, buffer.get() + bytes.size());
            EXPECT_EQ(tag, 0x06);
            EXPECT_EQ(remaining, 0);
            ASSERT_EQ(count, static_cast<int32_t>(c.oid.size()));
            EXPECT_EQ(std::vector<uint32_t>(oid.begin(), oid.begin() + count), c.oid);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(count, c.capacity);
            for (uint32_t entry : oid)
                EXPECT_EQ(entry, 0xA5A5A5A5u);  // untouched
        }
    }
}

TEST(BerParseOid, SixtyFourEntriesFitSixtyFiveDoNot)
{
    // 1.3 and 62 (or 63) further entries of 1: one octet each.
    for (int entries : {64, 65}) {
        std::vector<uint8_t> bytes = {0x06, static_cast<uint8_t>(entries - 1), 0x2B};
        for (int i = 2; i < entries; ++i)
            bytes.push_back(0x01);
        uint32_t oid[64];
        int32_t count = 64;
        int32_t remaining = static_cast<int32_t>(bytes.size());
        uint8_t tag = 0;
        const uint8_t* end = berParseOid(bytes.data(), &remaining, &tag, oid, &count);
        if (entries == 64) {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(count, 64);
            EXPECT_EQ(oid[63], 1u);
        } else {
            EXPECT_EQ(end, nullptr);
        }
    }
}

TEST(BerBuildOid, Table)
{
    const struct {
        std::vector<uint32_t> oid;
        const char* output;
    } cases[] = {
        {{}, "06 01 00"},
        {{7}, "06 01 00"},
        {{1, 3}, "06 01 2B"},
        {{1, 3, 6, 1, 4, 1, 311}, "06 07 2B 06 01 04 01 82 37"},
        {{1, 3, 6, 1, 2, 1, 1, 3, 0}, "06 08 2B 06 01 02 01 01 03 00"},
        {{1, 3, 127}, "06 02 2B 7F"},
        {{1, 3, 128}, "06 03 2B 81 00"},
        {{1, 3, 0xFFFFFFFFu}, "06 06 2B 8F FF FF FF 7F"},
        {{1, 3, 0x10000000u}, "06 06 2B 81 80 80 80 00"},
        {{2, 100}, "06 02 81 34"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        checkEveryCapacity(c.output, [&](uint8_t* p, int32_t* remaining) {
            return berBuildOid(p, remaining, 0x06, c.oid.data(), static_cast<int32_t>(c.oid.size()));
        });
    }
}

// First arcs that one sub-identifier cannot carry would read back as another name.
TEST(BerBuildOid, RefusesArcsTheFirstSubIdentifierCannotHold)
{
    const std::vector<std::vector<uint32_t>> refused = {
        {3, 0}, {5, 3}, {0, 40}, {1, 40}, {1, 0xFFFFFFFFu}, {2, 0xFFFFFFFFu}, {2, 0xFFFFFFFFu - 79},
    };
    for (const auto& oid : refused) {
        uint8_t out[16];
        int32_t remaining = sizeof out;
        EXPECT_EQ(berBuildOid(out, &remaining, 0x06, oid.data(), static_cast<int32_t>(oid.size())), nullptr)
            << oid[0] << "." << oid[1];
    }
    const std::vector<std::vector<uint32_t>> accepted = {{0, 39}, {1, 39}, {2, 0xFFFFFFFFu - 80}};
    for (const auto& oid : accepted) {
        uint8_t out[16];
        int32_t remaining = sizeof out;
        EXPECT_NE(berBuildOid(out, &remaining, 0x06, oid.data(), static_cast<int32_t>(oid.size())), nullptr)
            << oid[0] << "." << oid[1];
    }
}

TEST(BerBuildOid, UpToTheSubIdentifierLimit)
{
    // 128 entries of the largest value: 1.3 in one octet, 126 five-octet entries.
    std::vector<uint32_t> oid = {1, 3};
    oid.resize(SnmpOidCapacity, 0xFFFFFFFFu);
    uint8_t out[700];
    int32_t remaining = sizeof out;
    uint8_t* end = berBuildOid(out, &remaining, 0x06, oid.data(), static_cast<int32_t>(oid.size()));
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - out, 4 + 1 + 126 * 5);
    int32_t count = SnmpOidCapacity;
    std::vector<uint32_t> back(SnmpOidCapacity);
    remaining = static_cast<int32_t>(end - out);
    uint8_t tag = 0;
    ASSERT_NE(berParseOid(out, &remaining, &tag, back.data(), &count), nullptr);
    EXPECT_EQ(back, oid);
    // One entry more is refused, never cut.
    oid.push_back(5);
    remaining = sizeof out;
    EXPECT_EQ(berBuildOid(out, &remaining, 0x06, oid.data(), static_cast<int32_t>(oid.size())), nullptr);
}

TEST(BerOid, RoundTrip)
{
    const std::vector<std::vector<uint32_t>> oids = {
        {0, 0}, {1, 3}, {1, 3, 6, 1, 2, 1, 1, 1, 0}, {2, 5, 4, 3}, {2, 999, 3},
        {1, 3, 6, 1, 4, 1, 4242, 0xFFFFFFFFu, 0x80, 0x3FFF, 0x4000, 0x1FFFFF, 0x200000},
    };
    for (const auto& in : oids) {
        uint8_t out[80];
        int32_t remaining = sizeof out;
        uint8_t* end = berBuildOid(out, &remaining, 0x06, in.data(), static_cast<int32_t>(in.size()));
        ASSERT_NE(end, nullptr);
        uint32_t back[64];
        int32_t count = 64;
        int32_t counter = static_cast<int32_t>(end - out);
        uint8_t tag = 0;
        ASSERT_EQ(berParseOid(out, &counter, &tag, back, &count), end);
        EXPECT_EQ(std::vector<uint32_t>(back, back + count), in);
    }
}

// ---- NULL and bit strings ----------------------------------------------

TEST(BerBuildNull, TagAndZeroLength)
{
    for (uint8_t tag : {0x05, 0x80, 0x81, 0x82}) {
        checkEveryCapacity(hexText(&tag, 1) + " 00",
                           [&](uint8_t* p, int32_t* remaining) { return berBuildNull(p, remaining, tag); });
    }
}

TEST(BerBuildBitString, Table)
{
    const struct {
        std::vector<uint8_t> source;
        const char* output;  // null: refused
    } cases[] = {
        {{0x00}, "03 01 00"},
        {{0x07, 0x80}, "03 02 07 80"},
        {{0x00, 0xAA, 0x55}, "03 03 00 AA 55"},
        {{0x08, 0x80}, nullptr},
        {{0xFF}, nullptr},
        {{}, nullptr},
    };
    for (const auto& c : cases) {
        if (c.output == nullptr) {
            uint8_t out[8];
            int32_t remaining = sizeof out;
            EXPECT_EQ(berBuildBitString(out, &remaining, 0x03, c.source.empty() ? nullptr : c.source.data(),
                                        static_cast<int32_t>(c.source.size())),
                      nullptr);
            continue;
        }
        checkEveryCapacity(c.output, [&](uint8_t* p, int32_t* remaining) {
            return berBuildBitString(p, remaining, 0x03, c.source.data(), static_cast<int32_t>(c.source.size()));
        });
    }
}

// ---- every prefix of every valid element ------------------------------

TEST(BerParse, EveryPrefixOfValidElementsFails)
{
    // Each element is read whole from an exactly sized buffer; each shorter
    // prefix must be refused without reading past its end.
    const char* elements[] = {
        "02 01 00", "02 04 7F FF FF FF", "41 05 00 FF FF FF FF", "46 09 00 80 00 00 00 00 00 00 00",
        "04 06 70 75 62 6C 69 63", "06 07 2B 06 01 04 01 82 37", "30 84 00 00 00 01 00", "04 81 01 41",
        "06 05 8F FF FF FF 7F",
    };
    for (const char* hex : elements) {
        const auto bytes = hexBytes(hex);
        for (size_t length = 0; length <= bytes.size(); ++length) {
            SCOPED_TRACE(std::string(hex) + " prefix " + std::to_string(length));
            ExactBuffer buffer(bytes.data(), length);
            const bool whole = length == bytes.size();
            uint8_t tag = 0;
            int32_t remaining = static_cast<int32_t>(length);
            EXPECT_EQ(berParseHeader(buffer.get(), &remaining, &tag) != nullptr, whole);
            int32_t i32 = 0;
            remaining = static_cast<int32_t>(length);
            const uint8_t* p = berParseInt(buffer.get(), &remaining, &tag, &i32, 4);
            if (!whole) {
                EXPECT_EQ(p, nullptr);
            }
            uint32_t u32 = 0;
            remaining = static_cast<int32_t>(length);
            p = berParseUnsigned(buffer.get(), &remaining, &tag, &u32, 4);
            if (!whole) {
                EXPECT_EQ(p, nullptr);
            }
            Counter64 c64{};
            remaining = static_cast<int32_t>(length);
            p = berParseCounter64(buffer.get(), &remaining, &tag, &c64, 8);
            if (!whole) {
                EXPECT_EQ(p, nullptr);
            }
            uint8_t text[16];
            int32_t textLength = sizeof text;
            remaining = static_cast<int32_t>(length);
            p = berParseString(buffer.get(), &remaining, &tag, text, &textLength);
            EXPECT_EQ(p != nullptr, whole);
            uint32_t oid[64];
            int32_t count = 64;
            remaining = static_cast<int32_t>(length);
            p = berParseOid(buffer.get(), &remaining, &tag, oid, &count);
            if (!whole) {
                EXPECT_EQ(p, nullptr);
            }
            uint32_t fieldLength = 0;
            if (length >= 1) {
                // The length field alone, read from the octet after the tag.
                const uint8_t* q = berParseLength(buffer.get() + 1, static_cast<int32_t>(length) - 1, &fieldLength);
                if (q != nullptr) {
                    EXPECT_LE(q, buffer.get() + length);
            }
            }
        }
    }
}

}  // namespace
