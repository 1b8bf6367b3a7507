#include "snmp/security/usm/usm_string.h"

#include <cstring>

#include "platform/hex_digits.h"
#include "snmp/base/diagnostics.h"

namespace {

struct Part {
    const char* start;
    size_t length;
};

// Splits at '/' into at most `most` parts; false when there are more.
bool split(const char* text, size_t length, Part* parts, size_t most, size_t* count)
{
    *count = 0;
    size_t begin = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && text[i] != '/')
            continue;
        if (*count == most)
            return false;
        parts[(*count)++] = Part{text + begin, i - begin};
        begin = i + 1;
    }
    return true;
}

// "PROTOCOL:secret" of one of the two kinds.
template <typename Protocol>
bool readSecret(const Part& part, const char* kind, bool (*find)(const char*, size_t, Protocol*),
                const char* known, size_t (*keyLengthOf)(Protocol), const char* (*nameOf)(Protocol),
                Protocol* protocol, UsmSecret* secret)
{
    const char* colon = static_cast<const char*>(std::memchr(part.start, ':', part.length));
    if (colon == nullptr) {
        diagnose("%s needs PROTOCOL:secret (%s)\n", kind, known);
        return false;
    }
    const size_t nameLength = static_cast<size_t>(colon - part.start);
    if (!find(part.start, nameLength, protocol)) {
        diagnose("unknown %s protocol %.*s (%s)\n", kind, static_cast<int>(nameLength), part.start, known);
        return false;
    }
    const char* value = colon + 1;
    const size_t valueLength = part.length - nameLength - 1;
    if (valueLength >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        const size_t keyLength = keyLengthOf(*protocol);
        bool digits = valueLength == 2 + 2 * keyLength;
        for (size_t i = 0; digits && i < keyLength; ++i) {
            const int high = hexDigitValue(value[2 + 2 * i]);
            const int low = hexDigitValue(value[3 + 2 * i]);
            digits = high >= 0 && low >= 0;
            if (digits)
                secret->key[i] = static_cast<uint8_t>(high << 4 | low);
        }
        if (!digits) {
            diagnose("%s key of %s must be 0x and %zu hexadecimal digits\n", kind, nameOf(*protocol), 2 * keyLength);
            return false;
        }
        secret->phrase = nullptr;
        secret->phraseLength = 0;
        return true;
    }
    if (valueLength < UsmMinPassPhrase) {
        diagnose("%s pass phrase shorter than %zu characters\n", kind, UsmMinPassPhrase);
        return false;
    }
    secret->phrase = value;
    secret->phraseLength = valueLength;
    return true;
}

bool readAuth(const char* name, size_t length, UsmAuth* auth) { return findUsmAuth(name, length, auth); }
bool readPriv(const char* name, size_t length, UsmPriv* priv) { return findUsmPriv(name, length, priv); }
const char* authName(UsmAuth auth) { return usmAuthProtocol(auth)->name; }
size_t authKeyLength(UsmAuth auth) { return usmAuthProtocol(auth)->keyLength; }
size_t privKeyLength(UsmPriv priv) { return usmPrivProtocol(priv)->keyLength; }
const char* privName(UsmPriv priv) { return usmPrivProtocol(priv)->name; }

}  // namespace

bool isUsmString(const char* text, size_t length)
{
    return text != nullptr && length > 1 && text[0] == '#' && std::memchr(text + 1, '/', length - 1) != nullptr;
}

int32_t parseUsmString(const char* text, size_t length, UsmCredentials* credentials)
{
    std::memset(credentials, 0, sizeof *credentials);
    Part parts[4];
    size_t count = 0;
    if (!isUsmString(text, length) || !split(text + 1, length - 1, parts, 4, &count)) {
        diagnose("an SNMPv3 community is #user/auth/priv/context\n");
        return -1;
    }
    const Part none = {"", 0};
    const Part& user = parts[0];
    const Part& auth = count > 1 ? parts[1] : none;
    const Part& priv = count > 2 ? parts[2] : none;
    const Part& context = count > 3 ? parts[3] : none;
    if (user.length == 0 || user.length > UsmMaxUserName) {
        diagnose("SNMPv3 user name must be 1 to %zu octets\n", UsmMaxUserName);
        return -1;
    }
    credentials->user = user.start;
    credentials->userLength = user.length;
    if (auth.length > 0) {
        UsmAuth protocol = UsmAuth::None;
        if (!readSecret<UsmAuth>(auth, "authentication", readAuth, "MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512",
                                 authKeyLength, authName, &protocol, &credentials->authSecret))
            return -1;
        credentials->auth = protocol;
    }
    if (priv.length > 0) {
        if (credentials->auth == UsmAuth::None) {
            diagnose("SNMPv3 privacy needs authentication\n");
            return -1;
        }
        UsmPriv protocol = UsmPriv::None;
        if (!readSecret<UsmPriv>(priv, "privacy", readPriv, "DES, AES, AES-192, AES-256, AES-192C or AES-256C",
                                 privKeyLength, privName, &protocol, &credentials->privSecret))
            return -1;
        credentials->priv = protocol;
    }
    if (context.length > UsmMaxContextName) {
        diagnose("SNMPv3 context name longer than %zu octets\n", UsmMaxContextName);
        return -1;
    }
    credentials->context = context.start;
    credentials->contextLength = context.length;
    return 0;
}
