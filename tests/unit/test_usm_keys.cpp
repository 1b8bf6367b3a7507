// SNMPv3 keys against the published and computed vectors: "maplesyrup" and
// the engine identifier 00..02 (RFC 3414 A.3 for MD5 and SHA), and the
// protocol names as scripts write them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "snmp/security/usm/usm_key_cache.h"
#include "snmp/security/usm/usm_keys.h"
#include "tests/support/hex.h"

namespace {

TEST(UsmKeys, MapleSyrupVectors)
{
    const struct {
        UsmAuth auth;
        const char* ku;
        const char* kul;
    } cases[] = {
        {UsmAuth::Md5, "9faf3283884e92834ebc9847d8edd963", "526f5eed9fcce26f8964c2930787d82b"},
        {UsmAuth::Sha1, "9fb5cc0381497b3793528939ff788d5d79145211", "6695febc9288e36282235fc7151f128497b38f3f"},
        {UsmAuth::Sha224, "282a5867ee9aac639ad59df9572c7d3ac0fbc13a905b6df07dbbf00b",
         "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674"},
        {UsmAuth::Sha256, "ab51014d1e077f6017df2b12bee5f5aa72993177e9bb569c4dff5a4ca0b4afac",
         "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b"},
    };
    const std::vector<uint8_t> engine = hexBytes("000000000000000000000002");
    const uint8_t phrase[] = "maplesyrup";
    for (const auto& c : cases) {
        const size_t length = usmAuthProtocol(c.auth)->keyLength;
        std::vector<uint8_t> ku(length), kul(length);
        ASSERT_TRUE(usmPasswordToKey(c.auth, phrase, 10, ku.data()));
        EXPECT_EQ(ku, hexBytes(c.ku)) << usmAuthProtocol(c.auth)->name;
        ASSERT_TRUE(usmLocalizeKey(c.auth, ku.data(), engine.data(), engine.size(), kul.data()));
        EXPECT_EQ(kul, hexBytes(c.kul)) << usmAuthProtocol(c.auth)->name;
    }
    uint8_t key[UsmMaxKeyLength];
    EXPECT_FALSE(usmPasswordToKey(UsmAuth::None, phrase, 10, key));
    EXPECT_FALSE(usmPasswordToKey(UsmAuth::Md5, phrase, 0, key));
}

TEST(UsmKeys, ProtocolNames)
{
    const struct {
        const char* name;
        bool known;
        UsmAuth auth;
        uint8_t macLength;
    } cases[] = {{"md5", true, UsmAuth::Md5, 12},         {"SHA", true, UsmAuth::Sha1, 12},
                 {"sha-224", true, UsmAuth::Sha224, 16},  {"SHA-256", true, UsmAuth::Sha256, 24},
                 {"Sha-384", true, UsmAuth::Sha384, 32},  {"SHA-512", true, UsmAuth::Sha512, 48},
                 {"SHA1", false, UsmAuth::None, 0},       {"SHA-2", false, UsmAuth::None, 0},
                 {"", false, UsmAuth::None, 0}};
    for (const auto& c : cases) {
        UsmAuth auth = UsmAuth::None;
        EXPECT_EQ(findUsmAuth(c.name, std::strlen(c.name), &auth), c.known) << c.name;
        EXPECT_EQ(auth, c.auth) << c.name;
        if (c.known) {
            EXPECT_EQ(usmAuthProtocol(auth)->macLength, c.macLength) << c.name;
        }
    }
    UsmPriv priv = UsmPriv::None;
    EXPECT_TRUE(findUsmPriv("aes", 3, &priv));
    EXPECT_EQ(priv, UsmPriv::Aes128);
    EXPECT_TRUE(findUsmPriv("DES", 3, &priv));
    EXPECT_EQ(priv, UsmPriv::Des);
    EXPECT_FALSE(findUsmPriv("AES-128", 7, &priv));
}

// Made once by a generator on hashlib alone and checked against pysnmp's
// AesBlumenthal192/256 and Aes192/256 key localization; "maplesyrup",
// engine 00..02, through the kept keys.
TEST(UsmKeys, ExtendedAesKeys)
{
    const struct {
        UsmAuth auth;
        const char* priv;
        const char* key;
    } cases[] = {
        {UsmAuth::Md5, "AES-192C", "526f5eed9fcce26f8964c2930787d82b79eff44a90650ee0"},
        {UsmAuth::Md5, "aes-256c", "526f5eed9fcce26f8964c2930787d82b79eff44a90650ee0a3a40abfac5acc12"},
        {UsmAuth::Sha1, "AES-192", "6695febc9288e36282235fc7151f128497b38f3f505e07eb"},
        {UsmAuth::Sha1, "AES-256", "6695febc9288e36282235fc7151f128497b38f3f505e07eb9af25568fa1f5dbe"},
        {UsmAuth::Sha1, "AES-256C", "6695febc9288e36282235fc7151f128497b38f3f9b8b6d78936ba6e7d19dfd9c"},
        {UsmAuth::Sha224, "AES-256C", "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be68207567422c34be4"},
        {UsmAuth::Sha256, "AES-256C", "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b"},
    };
    const std::vector<uint8_t> engine = hexBytes("000000000000000000000002");
    const UsmSecret secret = {"maplesyrup", 10, {}};
    for (const auto& c : cases) {
        UsmPriv priv = UsmPriv::None;
        ASSERT_TRUE(findUsmPriv(c.priv, std::strlen(c.priv), &priv)) << c.priv;
        uint8_t key[UsmMaxKeyLength];
        ASSERT_TRUE(usmLocalizedPrivKey(c.auth, priv, secret, engine.data(), engine.size(), key));
        EXPECT_EQ(std::vector<uint8_t>(key, key + usmPrivProtocol(priv)->keyLength), hexBytes(c.key)) << c.key;
    }
    wipeUsmKeys();
}

TEST(UsmKeys, PhrasesOfEveryShapeAgainstTheWholeMebibyte)
{
    // Lengths that divide the block, do not, and exceed it.
    for (const size_t length : {8u, 64u, 1000u, 4097u, 9999u}) {
        std::vector<uint8_t> phrase(length);
        for (size_t i = 0; i < length; ++i)
            phrase[i] = static_cast<uint8_t>('a' + i * 7 % 26);
        std::vector<uint8_t> whole(1048576);
        for (size_t i = 0; i < whole.size(); ++i)
            whole[i] = phrase[i % length];
        uint8_t expected[20], key[20];
        CryptoHashState state;
        ASSERT_TRUE(cryptoHashStart(&state, CryptoHash::Sha1));
        ASSERT_TRUE(cryptoHashAdd(&state, whole.data(), whole.size()));
        ASSERT_TRUE(cryptoHashFinish(&state, expected));
        ASSERT_TRUE(usmPasswordToKey(UsmAuth::Sha1, phrase.data(), length, key));
        EXPECT_EQ(std::memcmp(key, expected, sizeof key), 0) << length;
    }
}

}  // namespace
