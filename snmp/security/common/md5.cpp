#include "snmp/security/common/md5.h"

#include <cstring>

namespace {

// Zeroes memory in a way the optimiser may not drop as a dead store: the
// cleared bytes (key material, message words) are never read again.
void wipe(void* memory, size_t bytes)
{
#if defined(__GNUC__) || defined(__clang__)
    std::memset(memory, 0, bytes);
    __asm__ __volatile__("" : : "r"(memory) : "memory");
#else
    volatile unsigned char* p = static_cast<volatile unsigned char*>(memory);
    while (bytes-- > 0)
        *p++ = 0;
#endif
}

inline uint32_t rotateLeft(uint32_t value, unsigned bits)
{
    return (value << bits) | (value >> (32 - bits));
}

inline uint32_t readLittleEndian(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void writeLittleEndian(unsigned char* p, uint32_t value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// The four rounds' steps. The round functions are written in forms that keep
// the newest chaining word (b) late in each expression, so the part that
// depends only on older words can be computed while b is still being made:
//   F(b,c,d) = (b & c) | (~b & d)  ==  d ^ (b & (c ^ d))
//   G(b,c,d) = (b & d) | (c & ~d)  ==  (c & ~d) + (b & d)   (disjoint bits)
//   H(b,c,d) = b ^ c ^ d
//   I(b,c,d) = c ^ (b | ~d)
#define MD5_STEP_F(a, b, c, d, word, shift, constant)          \
    do {                                                       \
        a += (word) + static_cast<uint32_t>(constant);         \
        a += (d) ^ ((b) & ((c) ^ (d)));                        \
        a = rotateLeft(a, shift) + (b);                        \
    } while (0)

#define MD5_STEP_G(a, b, c, d, word, shift, constant)          \
    do {                                                       \
        a += (word) + static_cast<uint32_t>(constant);         \
        a += (c) & ~(d);                                       \
        a += (b) & (d);                                        \
        a = rotateLeft(a, shift) + (b);                        \
    } while (0)

#define MD5_STEP_H(a, b, c, d, word, shift, constant)          \
    do {                                                       \
        a += (word) + static_cast<uint32_t>(constant);         \
        a += (b) ^ (c) ^ (d);                                  \
        a = rotateLeft(a, shift) + (b);                        \
    } while (0)

#define MD5_STEP_I(a, b, c, d, word, shift, constant)          \
    do {                                                       \
        a += (word) + static_cast<uint32_t>(constant);         \
        a += (c) ^ ((b) | ~(d));                               \
        a = rotateLeft(a, shift) + (b);                        \
    } while (0)

// One 64-byte block into the chaining words.
void transform(uint32_t state[4], const unsigned char block[kMd5BlockSize])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = readLittleEndian(block + 4 * i);

    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];

    // Round 1: words in order, shifts 7, 12, 17, 22.
    MD5_STEP_F(a, b, c, d, x[0], 7, 0xd76aa478);
    MD5_STEP_F(d, a, b, c, x[1], 12, 0xe8c7b756);
    MD5_STEP_F(c, d, a, b, x[2], 17, 0x242070db);
    MD5_STEP_F(b, c, d, a, x[3], 22, 0xc1bdceee);
    MD5_STEP_F(a, b, c, d, x[4], 7, 0xf57c0faf);
    MD5_STEP_F(d, a, b, c, x[5], 12, 0x4787c62a);
    MD5_STEP_F(c, d, a, b, x[6], 17, 0xa8304613);
    MD5_STEP_F(b, c, d, a, x[7], 22, 0xfd469501);
    MD5_STEP_F(a, b, c, d, x[8], 7, 0x698098d8);
    MD5_STEP_F(d, a, b, c, x[9], 12, 0x8b44f7af);
    MD5_STEP_F(c, d, a, b, x[10], 17, 0xffff5bb1);
    MD5_STEP_F(b, c, d, a, x[11], 22, 0x895cd7be);
    MD5_STEP_F(a, b, c, d, x[12], 7, 0x6b901122);
    MD5_STEP_F(d, a, b, c, x[13], 12, 0xfd987193);
    MD5_STEP_F(c, d, a, b, x[14], 17, 0xa679438e);
    MD5_STEP_F(b, c, d, a, x[15], 22, 0x49b40821);

    // Round 2: words 1 + 5i mod 16, shifts 5, 9, 14, 20.
    MD5_STEP_G(a, b, c, d, x[1], 5, 0xf61e2562);
    MD5_STEP_G(d, a, b, c, x[6], 9, 0xc040b340);
    MD5_STEP_G(c, d, a, b, x[11], 14, 0x265e5a51);
    MD5_STEP_G(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    MD5_STEP_G(a, b, c, d, x[5], 5, 0xd62f105d);
    MD5_STEP_G(d, a, b, c, x[10], 9, 0x02441453);
    MD5_STEP_G(c, d, a, b, x[15], 14, 0xd8a1e681);
    MD5_STEP_G(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    MD5_STEP_G(a, b, c, d, x[9], 5, 0x21e1cde6);
    MD5_STEP_G(d, a, b, c, x[14], 9, 0xc33707d6);
    MD5_STEP_G(c, d, a, b, x[3], 14, 0xf4d50d87);
    MD5_STEP_G(b, c, d, a, x[8], 20, 0x455a14ed);
    MD5_STEP_G(a, b, c, d, x[13], 5, 0xa9e3e905);
    MD5_STEP_G(d, a, b, c, x[2], 9, 0xfcefa3f8);
    MD5_STEP_G(c, d, a, b, x[7], 14, 0x676f02d9);
    MD5_STEP_G(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    // Round 3: words 5 + 3i mod 16, shifts 4, 11, 16, 23.
    MD5_STEP_H(a, b, c, d, x[5], 4, 0xfffa3942);
    MD5_STEP_H(d, a, b, c, x[8], 11, 0x8771f681);
    MD5_STEP_H(c, d, a, b, x[11], 16, 0x6d9d6122);
    MD5_STEP_H(b, c, d, a, x[14], 23, 0xfde5380c);
    MD5_STEP_H(a, b, c, d, x[1], 4, 0xa4beea44);
    MD5_STEP_H(d, a, b, c, x[4], 11, 0x4bdecfa9);
    MD5_STEP_H(c, d, a, b, x[7], 16, 0xf6bb4b60);
    MD5_STEP_H(b, c, d, a, x[10], 23, 0xbebfbc70);
    MD5_STEP_H(a, b, c, d, x[13], 4, 0x289b7ec6);
    MD5_STEP_H(d, a, b, c, x[0], 11, 0xeaa127fa);
    MD5_STEP_H(c, d, a, b, x[3], 16, 0xd4ef3085);
    MD5_STEP_H(b, c, d, a, x[6], 23, 0x04881d05);
    MD5_STEP_H(a, b, c, d, x[9], 4, 0xd9d4d039);
    MD5_STEP_H(d, a, b, c, x[12], 11, 0xe6db99e5);
    MD5_STEP_H(c, d, a, b, x[15], 16, 0x1fa27cf8);
    MD5_STEP_H(b, c, d, a, x[2], 23, 0xc4ac5665);

    // Round 4: words 7i mod 16, shifts 6, 10, 15, 21.
    MD5_STEP_I(a, b, c, d, x[0], 6, 0xf4292244);
    MD5_STEP_I(d, a, b, c, x[7], 10, 0x432aff97);
    MD5_STEP_I(c, d, a, b, x[14], 15, 0xab9423a7);
    MD5_STEP_I(b, c, d, a, x[5], 21, 0xfc93a039);
    MD5_STEP_I(a, b, c, d, x[12], 6, 0x655b59c3);
    MD5_STEP_I(d, a, b, c, x[3], 10, 0x8f0ccc92);
    MD5_STEP_I(c, d, a, b, x[10], 15, 0xffeff47d);
    MD5_STEP_I(b, c, d, a, x[1], 21, 0x85845dd1);
    MD5_STEP_I(a, b, c, d, x[8], 6, 0x6fa87e4f);
    MD5_STEP_I(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    MD5_STEP_I(c, d, a, b, x[6], 15, 0xa3014314);
    MD5_STEP_I(b, c, d, a, x[13], 21, 0x4e0811a1);
    MD5_STEP_I(a, b, c, d, x[4], 6, 0xf7537e82);
    MD5_STEP_I(d, a, b, c, x[11], 10, 0xbd3af235);
    MD5_STEP_I(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    MD5_STEP_I(b, c, d, a, x[9], 21, 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;

    // The words are message (often key) material.
    wipe(x, sizeof x);
}

#undef MD5_STEP_F
#undef MD5_STEP_G
#undef MD5_STEP_H
#undef MD5_STEP_I

const unsigned char kPadding[kMd5BlockSize] = {0x80};

}  // namespace

void MD5Init(Md5Context* context)
{
    if (context == nullptr)
        return;
    context->count[0] = 0;
    context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
}

void MD5Update(Md5Context* context, const unsigned char* input, uint32_t inputLength)
{
    if (context == nullptr || input == nullptr || inputLength == 0)
        return;

    // Bytes already waiting in the buffer.
    uint32_t index = (context->count[0] >> 3) & 0x3f;

    // Bit count modulo 2^64, carried into the high word.
    const uint32_t bits = inputLength << 3;
    context->count[0] += bits;
    if (context->count[0] < bits)
        ++context->count[1];
    context->count[1] += inputLength >> 29;

    const uint32_t partLength = kMd5BlockSize - index;
    uint32_t done = 0;
    if (inputLength >= partLength) {
        std::memcpy(context->buffer + index, input, partLength);
        transform(context->state, context->buffer);
        // Whole blocks straight from the input, without copying.
        for (done = partLength; inputLength - done >= kMd5BlockSize; done += kMd5BlockSize)
            transform(context->state, input + done);
        index = 0;
    }
    std::memcpy(context->buffer + index, input + done, inputLength - done);
}

void MD5Final(unsigned char digest[kMd5DigestSize], Md5Context* context)
{
    if (context == nullptr)
        return;

    unsigned char bitCount[8];
    writeLittleEndian(bitCount, context->count[0]);
    writeLittleEndian(bitCount + 4, context->count[1]);

    // Pad to 56 bytes modulo 64, then the bit count completes the block.
    const uint32_t index = (context->count[0] >> 3) & 0x3f;
    const uint32_t padLength = (index < 56) ? (56 - index) : (120 - index);
    MD5Update(context, kPadding, padLength);
    MD5Update(context, bitCount, 8);

    if (digest != nullptr) {
        for (int i = 0; i < 4; ++i)
            writeLittleEndian(digest + 4 * i, context->state[i]);
    }
    wipe(context, sizeof *context);
}
