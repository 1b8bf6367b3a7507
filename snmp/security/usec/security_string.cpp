#include "snmp/security/usec/security_string.h"

#include <cstring>

#include "platform/hex_digits.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/usec/keys.h"

namespace {

const int32_t ParsedMaxMessageSize = 1450;

// One part of the security string: from text up to the next '/' or the end.
struct Part {
    const char* start;
    int32_t length;
    bool last;  // no '/' follows
};

Part nextPart(const char* text)
{
    const char* end = std::strchr(text, '/');
    if (end == nullptr)
        return Part{text, static_cast<int32_t>(std::strlen(text)), true};
    return Part{text, static_cast<int32_t>(end - text), false};
}

// The parts present: the user, then up to the auth key, the priv key and the
// context; anything behind a fourth part is not read.
struct SecurityParts {
    Part part[4];
    int32_t count;
};

constexpr int32_t MaxUserName = static_cast<int32_t>(sizeof(SnmpSession::userName)) - 1;  // and a terminator
constexpr int32_t MaxContext = static_cast<int32_t>(sizeof(SnmpSession::context));

// "0x" and more: a key written out, rather than a pass phrase.
bool isHexKey(const Part& part)
{
    return part.length > 2 && part.start[0] == '0' && part.start[1] == 'x';
}

// Whether a key part can be used; prints why not.
bool keyAccepted(const Part& part, const char* lengthMessage, const char* digitMessage)
{
    if (!isHexKey(part))
        return true;
    if (part.length != 2 + 2 * UsecKeyLength) {
        diagnose("%s", lengthMessage);
        return false;
    }
    for (int32_t i = 2; i < part.length; ++i) {
        if (hexDigitValue(part.start[i]) < 0) {
            diagnose("%s", digitMessage);
            return false;
        }
    }
    return true;
}

// Splits the text after its '/' and checks every part; prints why and answers
// false for a string that must not open a session.
bool splitSecurityString(const char* text, SecurityParts* parts)
{
    parts->count = 0;
    Part part = nextPart(text + 1);
    for (;;) {
        parts->part[parts->count++] = part;
        if (part.last || parts->count == 4)
            break;
        part = nextPart(part.start + part.length + 1);
    }
    const Part& user = parts->part[0];
    if (user.length == 0) {
        diagnose("userName cannot be zero length\n");
        return false;
    }
    if (user.length > MaxUserName) {
        diagnose("userName longer than %d octets\n", static_cast<int>(MaxUserName));
        return false;
    }
    if (parts->count > 1 &&
        !keyAccepted(parts->part[1], "auth key not 16 octets\n", "auth key contains non hex digits\n"))
        return false;
    if (parts->count > 2 &&
        !keyAccepted(parts->part[2], "priv key not 16 octets\n", "priv key contains non hex digits\n"))
        return false;
    if (parts->count > 3 && parts->part[3].length > MaxContext) {
        diagnose("context longer than %d octets\n", static_cast<int>(MaxContext));
        return false;
    }
    return true;
}

// Stores an accepted key part: the key written out, or the pass phrase
// localised to the agent. False for an empty part (no key).
bool storeKey(const Part& part, const uint8_t* agentId, uint8_t* key)
{
    if (isHexKey(part)) {
        for (int32_t i = 0; i < UsecKeyLength; ++i)
            key[i] = static_cast<uint8_t>(hexDigitValue(part.start[2 + 2 * i]) << 4 |
                                          hexDigitValue(part.start[3 + 2 * i]));
        return true;
    }
    if (part.length == 0)
        return false;
    passwordToKey(reinterpret_cast<const uint8_t*>(part.start), part.length, agentId, key);
    return true;
}

}  // namespace

int32_t checkSecurityString(const char* text)
{
    if (text == nullptr || text[0] != '/')
        return 0;
    SecurityParts parts;
    return splitSecurityString(text, &parts) ? 0 : UsecParseRefused;
}

int32_t parseSecurityString(SnmpSession* session)
{
    const char* text = reinterpret_cast<const char*>(session->community);
    if (text == nullptr || text[0] != '/')
        return 0;
    SecurityParts parts;
    if (!splitSecurityString(text, &parts))
        return UsecParseRefused;

    const Part& user = parts.part[0];
    session->userNameLength = user.length;
    std::memcpy(session->userName, user.start, static_cast<size_t>(user.length));
    session->userName[user.length] = 0;
    session->securityFlags = 0;
    session->version = SnmpVersionUsec;
    session->maxMessageSize = ParsedMaxMessageSize;
    if (parts.count > 1 && storeKey(parts.part[1], session->agentId, session->authKey))
        session->securityFlags |= SecurityAuth;
    if (parts.count > 2 && storeKey(parts.part[2], session->agentId, session->privKey))
        session->securityFlags |= SecurityPriv;
    if (parts.count > 3) {
        session->contextLength = parts.part[3].length;
        std::memcpy(session->context, parts.part[3].start, static_cast<size_t>(parts.part[3].length));
    }
    return 0;
}
