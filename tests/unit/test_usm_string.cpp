// The SNMPv3 community "#user/auth/priv/context": what is read, and the line
// that says why a form is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "snmp/base/diagnostics.h"
#include "snmp/security/usm/usm_string.h"

namespace {

std::string said;
void collect(DiagnosticStream, const char* text, size_t length) { said.append(text, length); }

TEST(UsmString, FormsAndRefusals)
{
    const struct {
        const char* text;
        const char* refusal;  // null: accepted
        UsmAuth auth;
        UsmPriv priv;
        const char* context;
        bool authKey = false;  // the authentication secret read as a key, not a pass phrase
    } cases[] = {
        {"#alice/", nullptr, UsmAuth::None, UsmPriv::None, ""},
        {"#alice/sha-256:alicepass123/aes:alicepriv123/ctx", nullptr, UsmAuth::Sha256, UsmPriv::Aes128, "ctx"},
        {"#bob/MD5:0x526f5eed9fcce26f8964c2930787d82b", nullptr, UsmAuth::Md5, UsmPriv::None, "", true},
        {"#bob/MD5:0X526F5EED9FCCE26F8964C2930787D82B", nullptr, UsmAuth::Md5, UsmPriv::None, "", true},
        {"#bob/SHA:0x6695febc9288e36282235fc7151f128497b38f3f/DES:0x00112233445566778899aabbccddeeff", nullptr,
         UsmAuth::Sha1, UsmPriv::Des, "", true},
        {"#carol///public", nullptr, UsmAuth::None, UsmPriv::None, "public"},
        {"#/", "user name must be 1 to 32", UsmAuth::None, UsmPriv::None, ""},
        {"#123456789012345678901234567890123/", "user name must be 1 to 32", UsmAuth::None, UsmPriv::None, ""},
        {"#12345678901234567890123456789012/", nullptr, UsmAuth::None, UsmPriv::None, ""},
        {"#a/MD5:abcdefgh//12345678901234567890123456789012", nullptr, UsmAuth::Md5, UsmPriv::None,
         "12345678901234567890123456789012"},
        {"/alice/MD5:abcdefgh", "is #user/auth/priv/context", UsmAuth::None, UsmPriv::None, ""},
        {"#a/b/c/d/e", "is #user/auth/priv/context", UsmAuth::None, UsmPriv::None, ""},
        {"#a/SHA", "authentication needs PROTOCOL:secret", UsmAuth::None, UsmPriv::None, ""},
        {"#a/SHA-1:abcdefgh", "unknown authentication protocol SHA-1", UsmAuth::None, UsmPriv::None, ""},
        {"#a/SHA:short", "authentication pass phrase shorter than 8", UsmAuth::None, UsmPriv::None, ""},
        {"#a/SHA:1234567", "authentication pass phrase shorter than 8", UsmAuth::None, UsmPriv::None, ""},
        {"#a/SHA:12345678", nullptr, UsmAuth::Sha1, UsmPriv::None, ""},
        {"#a/SHA:12345678/AES:1234567", "privacy pass phrase shorter than 8", UsmAuth::None, UsmPriv::None, ""},
        {"#a/SHA:12345678/AES:12345678", nullptr, UsmAuth::Sha1, UsmPriv::Aes128, ""},
        {"#a/MD5:0x526f5eed9fcce26f8964c2930787d82", "key of MD5 must be 0x and 32", UsmAuth::None, UsmPriv::None, ""},
        {"#a/MD5:0x526f5eed9fcce26f8964c2930787d82g", "key of MD5 must be 0x and 32", UsmAuth::None, UsmPriv::None, ""},
        {"#a/MD5:0xg26f5eed9fcce26f8964c2930787d82b", "key of MD5 must be 0x and 32", UsmAuth::None, UsmPriv::None, ""},
        {"#a/MD5:0x526f5eed9fcce26f8964c2930787d82b00", "key of MD5 must be 0x and 32", UsmAuth::None, UsmPriv::None,
         ""},
        {"#a//AES:abcdefgh", "privacy needs authentication", UsmAuth::None, UsmPriv::None, ""},
        {"#a//AES:0x00112233445566778899aabbccddeeff", "privacy needs authentication", UsmAuth::None, UsmPriv::None,
         ""},
        {"#a/MD5:abcdefgh/3DES:abcdefgh", "unknown privacy protocol 3DES", UsmAuth::None, UsmPriv::None, ""},
        {"#a/MD5:abcdefgh//123456789012345678901234567890123", "context name longer than 32", UsmAuth::None,
         UsmPriv::None, ""},
    };
    setDiagnosticSink(&collect);
    for (const auto& c : cases) {
        said.clear();
        UsmCredentials credentials;
        const std::vector<char> exact(c.text, c.text + std::strlen(c.text));  // ASan sees any read past it
        const int32_t result = parseUsmString(exact.data(), exact.size(), &credentials);
        if (c.refusal != nullptr) {
            EXPECT_EQ(result, -1) << c.text;
            EXPECT_NE(said.find(c.refusal), std::string::npos) << c.text << ": " << said;
            continue;
        }
        EXPECT_EQ(result, 0) << c.text << ": " << said;
        EXPECT_EQ(credentials.auth, c.auth) << c.text;
        EXPECT_EQ(credentials.priv, c.priv) << c.text;
        EXPECT_EQ(std::string(credentials.context, credentials.contextLength), c.context) << c.text;
        if (c.auth != UsmAuth::None) {
            EXPECT_EQ(credentials.authSecret.phrase == nullptr, c.authKey) << c.text;
        }
    }
    setDiagnosticSink(nullptr);
    // "#" makes SNMPv3's form only with a "/" behind it.
    for (const char* community : {"/alice", "#alice", "#", "public/x"})
        EXPECT_FALSE(isUsmString(community, std::strlen(community))) << community;
    EXPECT_FALSE(isUsmString(nullptr, 0));
}

}  // namespace
