// The platform's cryptography seam against published known answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/crypto.h"
#include "tests/support/hex.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Crypto, HashesAndHmacs)
{
    const struct {
        CryptoHash hash;
        const char* abcDigest;    // of "abc"
        const char* jefeHmac;     // key "Jefe", "what do ya want for nothing?" (RFC 2104, RFC 4231)
    } cases[] = {
        {CryptoHash::Md5, "900150983cd24fb0d6963f7d28e17f72", "750c783e6ab0b503eaa86e310a5db738"},
        {CryptoHash::Sha1, "a9993e364706816aba3e25717850c26c9cd0d89d", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {CryptoHash::Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {CryptoHash::Sha512,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
         "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
    };
    for (const auto& c : cases) {
        const Bytes abc = text("abc");
        Bytes digest(cryptoDigestLength(c.hash));
        CryptoHashState state;
        ASSERT_TRUE(cryptoHashStart(&state, c.hash));
        ASSERT_TRUE(cryptoHashAdd(&state, abc.data(), 1));
        ASSERT_TRUE(cryptoHashAdd(&state, abc.data() + 1, 2));
        ASSERT_TRUE(cryptoHashFinish(&state, digest.data()));
        EXPECT_EQ(digest, hexBytes(c.abcDigest)) << c.abcDigest;

        const Bytes key = text("Jefe");
        const Bytes data = text("what do ya want for nothing?");
        const CryptoPiece pieces[] = {{data.data(), 10}, {data.data() + 10, data.size() - 10}};
        Bytes mac(cryptoDigestLength(c.hash));
        ASSERT_TRUE(cryptoHmac(c.hash, key.data(), key.size(), pieces, 2, mac.data()));
        EXPECT_EQ(mac, hexBytes(c.jefeHmac)) << c.jefeHmac;
    }
    EXPECT_EQ(cryptoDigestLength(CryptoHash::Sha224), 28u);
    EXPECT_EQ(cryptoDigestLength(CryptoHash::Sha384), 48u);
}

TEST(Crypto, CiphersBothWays)
{
    // FIPS 81's CBC example and SP 800-38A F.3.13 (CFB128-AES128).
    const Bytes desKey = hexBytes("0123456789abcdef");
    const Bytes desIv = hexBytes("1234567890abcdef");
    const Bytes desPlain = text("Now is the time for all ");
    const Bytes desCipher = hexBytes("e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6");
    const Bytes aesIv = hexBytes("000102030405060708090a0b0c0d0e0f");
    const Bytes aesPlain = hexBytes("6bc1bee22e409f96e93d7e117393172aae2d");

    Bytes out(desPlain.size());
    ASSERT_TRUE(cryptoDesCbc(true, desKey.data(), desIv.data(), desPlain.data(), desPlain.size(), out.data()));
    EXPECT_EQ(out, desCipher);
    ASSERT_TRUE(cryptoDesCbc(false, desKey.data(), desIv.data(), desCipher.data(), desCipher.size(), out.data()));
    EXPECT_EQ(out, desPlain);
    EXPECT_FALSE(cryptoDesCbc(true, desKey.data(), desIv.data(), desPlain.data(), 7, out.data()));

    // NIST SP 800-38A F.3.13, F.3.15, F.3.17 (CFB128), cut after 18 octets.
    const char* const aes[][2] = {
        {"2b7e151628aed2a6abf7158809cf4f3c", "3b3fd92eb72dad20333449f8e83cfb4ac8a6"},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", "cdc80d6fddf18cab34c25909c99a417467ce"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", "dc7e84bfda79164b7ecd8486985d386039ff"}};
    out.resize(aesPlain.size());
    for (const auto& c : aes) {
        const Bytes key = hexBytes(c[0]);
        ASSERT_TRUE(cryptoAesCfb(true, key.data(), key.size(), aesIv.data(), aesPlain.data(), 18, out.data()));
        EXPECT_EQ(out, hexBytes(c[1])) << c[0];
        ASSERT_TRUE(cryptoAesCfb(false, key.data(), key.size(), aesIv.data(), out.data(), 18, out.data()));
        EXPECT_EQ(out, aesPlain) << c[0];
    }
    EXPECT_FALSE(cryptoAesCfb(true, aesIv.data(), 20, aesIv.data(), aesPlain.data(), aesPlain.size(), out.data()));
}

TEST(Crypto, EqualityOfOctets)
{
    const Bytes a = hexBytes("00112233");
    const Bytes b = hexBytes("00112234");
    EXPECT_TRUE(cryptoEqual(a.data(), b.data(), 3));
    EXPECT_FALSE(cryptoEqual(a.data(), b.data(), 4));
}

}  // namespace
