// MD5 message digest (RFC 1321).
//
// The user-based security mode hashes with it for key localisation and for
// message digests. Use: MD5Init, any number of MD5Update, MD5Final. The
// caller owns the context, usually on its stack for the length of one digest.
#pragma once

#include <cstdint>

constexpr unsigned kMd5DigestSize = 16;
constexpr unsigned kMd5BlockSize = 64;

struct Md5Context {
    uint32_t state[4];                    // chaining words A, B, C, D
    uint32_t count[2];                    // input bits so far, modulo 2^64, low word first
    unsigned char buffer[kMd5BlockSize];  // input bytes not yet hashed (tail of a block)
};

// Starts a digest: count 0 and the four initial chaining words.
void MD5Init(Md5Context* context);

// Hashes inputLength bytes. A length of 0 changes nothing; a null input with a
// non-zero length is refused (the context stays as it was).
void MD5Update(Md5Context* context, const unsigned char* input, uint32_t inputLength);

// Writes the 16-byte digest, then sets every byte of the context to zero so
// no key material stays behind on the stack. The context must be started
// again with MD5Init before any further use.
void MD5Final(unsigned char digest[kMd5DigestSize], Md5Context* context);
