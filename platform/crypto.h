// The cryptography the module takes from the platform: the hashes beside the
// module's own MD5, HMAC, and the DES and AES ciphers of SNMPv3's privacy.
// Here it is libcrypto (OpenSSL), used through a library context of the
// module's own so that the host's use of OpenSSL is neither touched nor
// relied on; a Windows build points these few functions at its platform's
// cryptography. Every function answers false when the primitive fails or is
// missing (a DES that the platform no longer offers, no memory).
#pragma once

#include <cstddef>
#include <cstdint>

enum class CryptoHash : uint8_t { Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };

// The largest digest of any of them (SHA-512).
constexpr size_t CryptoMaxDigestLength = 64;

// Octets of the hash's digest.
size_t cryptoDigestLength(CryptoHash hash);

// An incremental hash: started, fed, finished (which releases it); a hash
// abandoned before it is finished is discarded.
struct CryptoHashState {
    void* context;
};
bool cryptoHashStart(CryptoHashState* state, CryptoHash hash);
bool cryptoHashAdd(CryptoHashState* state, const uint8_t* data, size_t length);
bool cryptoHashFinish(CryptoHashState* state, uint8_t* digest);
void cryptoHashDiscard(CryptoHashState* state);

// HMAC of the concatenation of the pieces with the key; the whole digest
// (cryptoDigestLength octets) goes to mac.
struct CryptoPiece {
    const uint8_t* data;
    size_t length;
};
bool cryptoHmac(CryptoHash hash, const uint8_t* key, size_t keyLength, const CryptoPiece* pieces, int count,
                uint8_t* mac);

// CBC-DES without padding: length is a multiple of 8; key and iv 8 octets.
bool cryptoDesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                  uint8_t* out);
// AES in CFB mode with 128-bit segments, any length; keyLength 16, 24 or 32
// octets (AES-128, -192, -256), iv 16 octets.
bool cryptoAesCfb(bool encrypt, const uint8_t* key, size_t keyLength, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out);

// Whether the first length octets of a and b are equal, in a time that does
// not depend on where they differ.
bool cryptoEqual(const uint8_t* a, const uint8_t* b, size_t length);

// Overwrites length octets with zeros in a way the compiler keeps.
void cryptoWipe(void* data, size_t length);
