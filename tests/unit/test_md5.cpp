#include "snmp/security/common/md5.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string toHex(const unsigned char* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0f];
    }
    return text;
}

std::string md5Hex(const std::vector<unsigned char>& data)
{
    Md5Context context;
    MD5Init(&context);
    MD5Update(&context, data.data(), static_cast<uint32_t>(data.size()));
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &context);
    return toHex(digest, sizeof digest);
}

std::vector<unsigned char> bytesOf(const std::string& text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

// Byte i of a patterned input: every byte value occurs, and runs are not
// repetitive, unlike a text of one letter.
std::vector<unsigned char> patterned(size_t count, unsigned multiplier, unsigned offset)
{
    std::vector<unsigned char> data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<unsigned char>(i * multiplier + offset);
    return data;
}

bool allZero(const void* memory, size_t bytes)
{
    const unsigned char* p = static_cast<const unsigned char*>(memory);
    for (size_t i = 0; i < bytes; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

struct DigestCase {
    std::string input;
    const char* expected;
};

// The test suite of RFC 1321, appendix A.5.
const DigestCase kRfcSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, RfcTestSuite)
{
    for (const DigestCase& c : kRfcSuite)
        EXPECT_EQ(md5Hex(bytesOf(c.input)), c.expected) << "input \"" << c.input << "\"";
}

// Lengths around the padding boundaries (55 is the longest input whose bit
// count fits in the same block, 56 the shortest that needs a second block).
// Expected values come from an independent implementation, Python's hashlib,
// computed when the test was written:
//   hashlib.md5(b'a' * n).hexdigest()
//   hashlib.md5(bytes((i * 37 + 11) & 0xff for i in range(n))).hexdigest()
struct BoundaryCase {
    size_t length;
    const char* letters;    // n times 'a'
    const char* patterned;  // patterned(n, 37, 11)
};

const BoundaryCase kBoundaries[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e", "d41d8cd98f00b204e9800998ecf8427e"},
    {55, "ef1772b6dff9a122358552954ad0df65", "d872aa0473a24da995ce4ac518ade767"},
    {56, "3b0c8ac703f828b04c6c197006d17218", "e23567645846677c205de80f9779081b"},
    {63, "b06521f39153d618550606be297466d5", "4775b66278a8fc132ff80923378216cd"},
    {64, "014842d480b571495a4a0363793f7367", "71e123b70c7aa64826fcfe472694cd1c"},
    {65, "c743a45e0d2e6a95cb859adae0248435", "5949948f26e35203661075214faa3966"},
};

TEST(Md5, PaddingBoundaries)
{
    for (const BoundaryCase& c : kBoundaries) {
        EXPECT_EQ(md5Hex(std::vector<unsigned char>(c.length, 'a')), c.letters) << c.length << " letters";
        EXPECT_EQ(md5Hex(patterned(c.length, 37, 11)), c.patterned) << c.length << " patterned bytes";
    }
}

// Python's hashlib.md5(b'a' * n) for lengths around the second block's
// padding boundary.
TEST(Md5, SecondBlockBoundaries)
{
    const struct {
        size_t length;
        const char* expected;
    } cases[] = {
        {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
        {127, "020406e1d05cdc2aa287641f7ae2cc39"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(md5Hex(std::vector<unsigned char>(c.length, 'a')), c.expected) << c.length;
}

std::string md5HexInPieces(const std::vector<unsigned char>& data, const std::vector<size_t>& cuts)
{
    Md5Context context;
    MD5Init(&context);
    size_t from = 0;
    for (size_t cut : cuts) {
        MD5Update(&context, data.data() + from, static_cast<uint32_t>(cut - from));
        from = cut;
    }
    MD5Update(&context, data.data() + from, static_cast<uint32_t>(data.size() - from));
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &context);
    return toHex(digest, sizeof digest);
}

TEST(Md5, SplitAtEveryByteBoundary)
{
    std::vector<std::vector<unsigned char>> inputs;
    for (const DigestCase& c : kRfcSuite)
        inputs.push_back(bytesOf(c.input));
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 129u, 200u})
        inputs.push_back(patterned(length, 37, 11));

    for (const std::vector<unsigned char>& input : inputs) {
        const std::string whole = md5Hex(input);
        for (size_t cut = 0; cut <= input.size(); ++cut)
            ASSERT_EQ(md5HexInPieces(input, {cut}), whole) << "length " << input.size() << " cut at " << cut;
    }
}

TEST(Md5, SplitIntoThreeAtEveryPairOfBoundaries)
{
    const std::vector<unsigned char> input = patterned(130, 91, 5);
    const std::string whole = md5Hex(input);
    for (size_t first = 0; first <= input.size(); ++first) {
        for (size_t second = first; second <= input.size(); ++second)
            ASSERT_EQ(md5HexInPieces(input, {first, second}), whole) << "cuts " << first << ", " << second;
    }
}

TEST(Md5, UpdateOfLengthZeroChangesNothing)
{
    const std::vector<unsigned char> input = patterned(100, 37, 11);
    for (size_t fed : {0u, 1u, 55u, 64u, 70u}) {
        Md5Context context;
        MD5Init(&context);
        MD5Update(&context, input.data(), static_cast<uint32_t>(fed));
        Md5Context before;
        std::memcpy(&before, &context, sizeof context);

        MD5Update(&context, input.data() + fed, 0);
        EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0) << "after " << fed << " bytes";
        // A null pointer is harmless when nothing is to be read.
        MD5Update(&context, nullptr, 0);
        EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0) << "after " << fed << " bytes";
    }
}

TEST(Md5, NullInputWithLengthIsRefused)
{
    Md5Context context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char*>("abc"), 3);
    Md5Context before;
    std::memcpy(&before, &context, sizeof context);
    MD5Update(&context, nullptr, 10);
    EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0);
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &context);
    EXPECT_EQ(toHex(digest, sizeof digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, InitSetsCountAndChainingWords)
{
    Md5Context context;
    std::memset(&context, 0xa5, sizeof context);
    MD5Init(&context);
    EXPECT_EQ(context.count[0], 0u);
    EXPECT_EQ(context.count[1], 0u);
    EXPECT_EQ(context.state[0], 0x67452301u);
    EXPECT_EQ(context.state[1], 0xefcdab89u);
    EXPECT_EQ(context.state[2], 0x98badcfeu);
    EXPECT_EQ(context.state[3], 0x10325476u);
}

TEST(Md5, CountHoldsInputBitsAndBufferTheTail)
{
    const std::vector<unsigned char> input = patterned(150, 37, 11);
    Md5Context context;
    MD5Init(&context);
    MD5Update(&context, input.data(), 70);
    EXPECT_EQ(context.count[0], 70u * 8);
    EXPECT_EQ(context.count[1], 0u);
    // 64 bytes went through the transform; the other 6 wait in the buffer.
    EXPECT_EQ(std::memcmp(context.buffer, input.data() + 64, 6), 0);
    MD5Update(&context, input.data() + 70, 80);
    EXPECT_EQ(context.count[0], 150u * 8);
    EXPECT_EQ(std::memcmp(context.buffer, input.data() + 128, 22), 0);
}

TEST(Md5, BitCountWrapsLowWord)
{
    const struct {
        uint32_t low;
        uint32_t high;
        uint32_t bytes;
        uint32_t expectedLow;
        uint32_t expectedHigh;
    } cases[] = {
        {0xfffffff8u, 0, 1, 0x00000000u, 1},
        {0xfffffff8u, 0, 2, 0x00000008u, 1},
        {0xfffffff0u, 7, 1, 0xfffffff8u, 7},
        {0xffffffe8u, 0xffffffffu, 4, 0x00000008u, 0},  // the 64-bit count wraps too
    };
    std::vector<unsigned char> input(8, 0x5a);
    for (const auto& c : cases) {
        // 2^29 bytes are too many for a unit test: start the count just
        // below the wrap instead (the buffer contents do not matter here).
        Md5Context context{};
        MD5Init(&context);
        context.count[0] = c.low;
        context.count[1] = c.high;
        MD5Update(&context, input.data(), c.bytes);
        EXPECT_EQ(context.count[0], c.expectedLow) << std::hex << c.low;
        EXPECT_EQ(context.count[1], c.expectedHigh) << std::hex << c.low;
    }
}

// Python's hashlib.md5(bytes((i * 131 + 7) & 0xff for i in range(1 << 20))).
TEST(Md5, StreamingOneMebibyteInManyUpdates)
{
    const std::vector<unsigned char> input = patterned(size_t(1) << 20, 131, 7);
    const char* expected = "b1e1aed0deadc10e54f181a82efd15e8";
    EXPECT_EQ(md5Hex(input), expected);

    // Piece sizes cycle through small, block-sized and odd lengths so the
    // buffered tail takes every position.
    const size_t pieceSizes[] = {1, 3, 63, 64, 65, 7, 128, 997, 0, 4096, 55, 56};
    Md5Context context;
    MD5Init(&context);
    size_t from = 0;
    size_t updates = 0;
    for (size_t k = 0; from < input.size(); ++k) {
        size_t piece = pieceSizes[k % (sizeof pieceSizes / sizeof pieceSizes[0])];
        if (piece > input.size() - from)
            piece = input.size() - from;
        MD5Update(&context, input.data() + from, static_cast<uint32_t>(piece));
        from += piece;
        ++updates;
    }
    EXPECT_GT(updates, 1000u);
    EXPECT_EQ(context.count[0], 8u << 20);
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &context);
    EXPECT_EQ(toHex(digest, sizeof digest), expected);
}

// The published MD5 password-to-key example (RFC 2574, A.3.1): the pass
// phrase "maplesyrup" repeated to 1,048,576 bytes, digested. Fed 64 bytes at
// a time, as the key derivation does.
TEST(Md5, PasswordToKeyIntermediateDigest)
{
    const std::string phrase = "maplesyrup";
    Md5Context context;
    MD5Init(&context);
    unsigned char block[64];
    size_t position = 0;
    for (size_t fed = 0; fed < 1048576; fed += sizeof block) {
        for (unsigned char& byte : block)
            byte = static_cast<unsigned char>(phrase[position++ % phrase.size()]);
        MD5Update(&context, block, sizeof block);
    }
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &context);
    const unsigned char expected[kMd5DigestSize] = {0x9f, 0xaf, 0x32, 0x83, 0x88, 0x4e, 0x92, 0x83,
                                                   0x4e, 0xbc, 0x98, 0x47, 0xd8, 0xed, 0xd9, 0x63};
    EXPECT_EQ(toHex(digest, sizeof digest), toHex(expected, sizeof expected));
}

TEST(Md5, FinalClearsTheWholeContext)
{
    // Every tail length, so the buffer holds data up to each position.
    for (size_t length : {0u, 1u, 20u, 55u, 56u, 63u, 64u, 100u}) {
        const std::vector<unsigned char> input = patterned(length, 37, 11);
        Md5Context context;
        MD5Init(&context);
        MD5Update(&context, input.data(), static_cast<uint32_t>(input.size()));
        ASSERT_FALSE(allZero(&context, sizeof context));
        unsigned char digest[kMd5DigestSize];
        MD5Final(digest, &context);
        EXPECT_TRUE(allZero(&context, sizeof context)) << "length " << length;
        EXPECT_EQ(toHex(digest, sizeof digest), md5Hex(input));
    }
}

TEST(Md5, ContextCanBeStartedAgainAfterFinal)
{
    Md5Context context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char*>("message digest"), 14);
    unsigned char first[kMd5DigestSize];
    MD5Final(first, &context);
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char*>("abc"), 3);
    unsigned char second[kMd5DigestSize];
    MD5Final(second, &context);
    EXPECT_EQ(toHex(first, sizeof first), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(toHex(second, sizeof second), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
