#include "snmp/security/usm/usm_protocols.h"

namespace {

const UsmAuthProtocol AuthProtocols[] = {
    {"MD5", CryptoHash::Md5, 16, 12},        {"SHA", CryptoHash::Sha1, 20, 12},
    {"SHA-224", CryptoHash::Sha224, 28, 16}, {"SHA-256", CryptoHash::Sha256, 32, 24},
    {"SHA-384", CryptoHash::Sha384, 48, 32}, {"SHA-512", CryptoHash::Sha512, 64, 48},
};
const UsmPrivProtocol PrivProtocols[] = {
    {"DES", 16, UsmKeyExtension::None, UsmPriv::None},
    {"AES", 16, UsmKeyExtension::None, UsmPriv::None},
    {"AES-192", 24, UsmKeyExtension::Blumenthal, UsmPriv::Aes192C},
    {"AES-256", 32, UsmKeyExtension::Blumenthal, UsmPriv::Aes256C},
    {"AES-192C", 24, UsmKeyExtension::Reeder, UsmPriv::Aes192},
    {"AES-256C", 32, UsmKeyExtension::Reeder, UsmPriv::Aes256},
};

bool named(const char* expected, const char* name, size_t length)
{
    size_t i = 0;
    for (; i < length && expected[i] != 0; ++i) {
        const char a = expected[i];
        const char b = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
        if (a != b)
            return false;
    }
    return i == length && expected[i] == 0;
}

}  // namespace

const UsmAuthProtocol* usmAuthProtocol(UsmAuth auth)
{
    const size_t index = static_cast<size_t>(auth);
    return index >= 1 && index <= sizeof AuthProtocols / sizeof AuthProtocols[0] ? &AuthProtocols[index - 1] : nullptr;
}

const UsmPrivProtocol* usmPrivProtocol(UsmPriv priv)
{
    const size_t index = static_cast<size_t>(priv);
    return index >= 1 && index <= sizeof PrivProtocols / sizeof PrivProtocols[0] ? &PrivProtocols[index - 1] : nullptr;
}

bool findUsmAuth(const char* name, size_t length, UsmAuth* auth)
{
    for (size_t i = 0; i < sizeof AuthProtocols / sizeof AuthProtocols[0]; ++i) {
        if (named(AuthProtocols[i].name, name, length)) {
            *auth = static_cast<UsmAuth>(i + 1);
            return true;
        }
    }
    return false;
}

bool findUsmPriv(const char* name, size_t length, UsmPriv* priv)
{
    for (size_t i = 0; i < sizeof PrivProtocols / sizeof PrivProtocols[0]; ++i) {
        if (named(PrivProtocols[i].name, name, length)) {
            *priv = static_cast<UsmPriv>(i + 1);
            return true;
        }
    }
    return false;
}
