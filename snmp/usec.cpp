#include "snmp/usec.h"

#include <cstdio>
#include <cstring>

#include "platform/runtime.h"
#include "snmp/key_cache.h"
#include "snmp/md5.h"
#include "snmp/sync_request.h"

namespace {

const uint8_t DiscoveryUser[] = {'k', 'o', 'l', 'b', 'u', 'r'};
const int32_t ParsedMaxMessageSize = 1450;
const int32_t MinimumMaxSize = 484;
const int32_t MaxReceivedUserName = 16;
const int32_t MaxReceivedContext = 40;
const int32_t TimeWindowSeconds = 150;
const int32_t KeyLength = 16;
const int32_t LocalisationBytes = 1048576;

// The runtime clock in whole seconds, as the agent-time arithmetic uses it.
int32_t localClock() { return static_cast<int32_t>(runtimeTime(nullptr)); }

int32_t addWrapping(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

void putBigEndian32(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

uint32_t getBigEndian32(const uint8_t* in)
{
    return (static_cast<uint32_t>(in[0]) << 24) | (static_cast<uint32_t>(in[1]) << 16) |
           (static_cast<uint32_t>(in[2]) << 8) | in[3];
}

// Compares in time independent of where the octets differ.
bool sameOctets(const uint8_t* a, const uint8_t* b, int32_t length)
{
    uint8_t difference = 0;
    for (int32_t i = 0; i < length; ++i)
        difference |= static_cast<uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}

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

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint8_t hexValue(char c)
{
    return static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

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
    if (part.length != 2 + 2 * KeyLength) {
        std::fputs(lengthMessage, stderr);
        return false;
    }
    for (int32_t i = 2; i < part.length; ++i) {
        if (!isHexDigit(part.start[i])) {
            std::fputs(digitMessage, stderr);
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
        std::fputs("userName cannot be zero length\n", stderr);
        return false;
    }
    if (user.length > MaxUserName) {
        std::fprintf(stderr, "userName longer than %d octets\n", static_cast<int>(MaxUserName));
        return false;
    }
    if (parts->count > 1 && !keyAccepted(parts->part[1], "auth key not 16 octets\n", "auth key contains non hex digits\n"))
        return false;
    if (parts->count > 2 && !keyAccepted(parts->part[2], "priv key not 16 octets\n", "priv key contains non hex digits\n"))
        return false;
    if (parts->count > 3 && parts->part[3].length > MaxContext) {
        std::fprintf(stderr, "context longer than %d octets\n", static_cast<int>(MaxContext));
        return false;
    }
    return true;
}

// Stores an accepted key part: the key written out, or the pass phrase
// localised to the agent. False for an empty part (no key).
bool storeKey(const Part& part, const uint8_t* agentId, uint8_t* key)
{
    if (isHexKey(part)) {
        for (int32_t i = 0; i < KeyLength; ++i)
            key[i] = static_cast<uint8_t>(hexValue(part.start[2 + 2 * i]) << 4 | hexValue(part.start[3 + 2 * i]));
        return true;
    }
    if (part.length == 0)
        return false;
    passwordToKey(reinterpret_cast<const uint8_t*>(part.start), part.length, agentId, key);
    return true;
}

}  // namespace

void messageDigest(const uint8_t* message, int32_t length, const uint8_t* key, uint8_t* digest)
{
    uint8_t keyCopy[KeyLength];
    std::memcpy(keyCopy, key, KeyLength);  // the key may lie inside message or at digest
    Md5Context context;
    MD5Init(&context);
    if (length > 0)
        MD5Update(&context, message, static_cast<uint32_t>(length));
    MD5Update(&context, keyCopy, KeyLength);
    MD5Final(digest, &context);
}

void passwordToKey(const uint8_t* phrase, int32_t phraseLength, const uint8_t* agentId, uint8_t* key)
{
    if (phrase == nullptr || phraseLength <= 0) {
        std::memset(key, 0, KeyLength);
        return;
    }
    Md5Context context;
    uint8_t intermediate[KeyLength];
    if (!findIntermediateKey(phrase, phraseLength, intermediate)) {
        MD5Init(&context);
        uint8_t block[64];
        int32_t index = 0;
        for (int32_t done = 0; done < LocalisationBytes; done += 64) {
            for (int32_t i = 0; i < 64; ++i) {
                block[i] = phrase[index];
                if (++index == phraseLength)
                    index = 0;
            }
            MD5Update(&context, block, 64);
        }
        MD5Final(intermediate, &context);
        rememberIntermediateKey(phrase, phraseLength, intermediate);
    }

    uint8_t localise[2 * KeyLength + 12];
    std::memcpy(localise, intermediate, KeyLength);
    std::memcpy(localise + KeyLength, agentId, 12);
    std::memcpy(localise + KeyLength + 12, intermediate, KeyLength);
    MD5Init(&context);
    MD5Update(&context, localise, sizeof localise);
    MD5Final(key, &context);
}

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

int32_t buildUsecParameters(const SnmpSession* session, int32_t flag, uint8_t* out, int32_t* length)
{
    if (session == nullptr || out == nullptr || length == nullptr)
        return -1;
    const bool authenticate = (session->securityFlags & SecurityAuth) != 0;
    const int32_t user = session->userNameLength;
    const int32_t context = session->contextLength;
    if (user < 0 || user > static_cast<int32_t>(sizeof session->userName) || context < 0 ||
        context > static_cast<int32_t>(sizeof session->context))
        return -1;
    const int32_t needed = 26 + user + (authenticate ? KeyLength : 0) + context;
    if (*length < needed)
        return -1;

    uint8_t* p = out;
    *p++ = 1;
    *p++ = session->securityFlags;
    std::memcpy(p, session->agentId, 12);
    p += 12;
    if (authenticate || flag != 0) {
        putBigEndian32(p, session->agentBoots);
        putBigEndian32(p + 4, static_cast<uint32_t>(addWrapping(localClock(), session->timeOffset)));
    } else {
        std::memset(p, 0, 8);
    }
    p += 8;
    *p++ = static_cast<uint8_t>(session->maxMessageSize >> 8);
    *p++ = static_cast<uint8_t>(session->maxMessageSize);
    *p++ = static_cast<uint8_t>(user);
    std::memcpy(p, session->userName, static_cast<size_t>(user));
    p += user;
    if (authenticate) {
        // The key stands in the digest field until the message is complete.
        *p++ = KeyLength;
        std::memcpy(p, session->authKey, KeyLength);
        p += KeyLength;
    } else {
        *p++ = 0;
    }
    std::memcpy(p, session->context, static_cast<size_t>(context));
    p += context;
    *length = static_cast<int32_t>(p - out);
    return 0;
}

int32_t decodeUsecParameters(const uint8_t* parameters, int32_t length, UsecParameters* decoded)
{
    if (parameters == nullptr || decoded == nullptr || length <= 24)
        return UsecBadParameters;
    decoded->model = parameters[0];
    if (decoded->model != 1)
        return UsecBadParameters;
    decoded->qoS = parameters[1];
    if ((decoded->qoS & 0xFA) != 0)
        return UsecBadParameters;  // privacy, or bits nobody defined
    std::memcpy(decoded->agentId, parameters + 2, 12);
    decoded->agentBoots = getBigEndian32(parameters + 14);
    decoded->agentTime = static_cast<int32_t>(getBigEndian32(parameters + 18));
    decoded->maxSize = (parameters[22] << 8) | parameters[23];
    if (decoded->maxSize < MinimumMaxSize)
        return UsecBadParameters;
    decoded->userNameLength = parameters[24];
    if (decoded->userNameLength == 0 || decoded->userNameLength > MaxReceivedUserName)
        return UsecBadParameters;
    int32_t remaining = length - 25 - decoded->userNameLength;
    if (remaining < 1)
        return UsecBadParameters;
    const uint8_t* p = parameters + 25;
    std::memcpy(decoded->userName, p, static_cast<size_t>(decoded->userNameLength));
    p += decoded->userNameLength;
    decoded->authLength = *p++;
    --remaining;
    if ((decoded->qoS & SecurityAuth) != 0) {
        if (remaining < KeyLength || decoded->authLength != KeyLength)
            return UsecBadParameters;
        std::memcpy(decoded->authDigest, p, KeyLength);
        decoded->digestPosition = const_cast<uint8_t*>(p);
        p += KeyLength;
        remaining -= KeyLength;
    } else if (decoded->authLength != 0) {
        return UsecBadParameters;
    }
    if (remaining > MaxReceivedContext)
        return UsecBadParameters;
    decoded->contextLength = remaining;
    std::memcpy(decoded->context, p, static_cast<size_t>(remaining));
    return 0;
}

int32_t usecAuthenticate(uint8_t* message, int32_t messageLength, uint8_t* parameters, int32_t parametersLength,
                         SnmpSession* session, SnmpPdu* pdu)
{
    if (session == nullptr || pdu == nullptr)
        return UsecBadParameters;
    UsecParameters& received = pdu->security;
    if (decodeUsecParameters(parameters, parametersLength, &received) != 0)
        return UsecBadParameters;
    if (std::memcmp(received.agentId, session->agentId, 12) != 0)
        return UsecUnknownContext;
    if (received.contextLength != session->contextLength ||
        std::memcmp(received.context, session->context, static_cast<size_t>(received.contextLength)) != 0)
        return UsecUnknownContext;
    if (received.userNameLength != session->userNameLength ||
        std::memcmp(received.userName, session->userName, static_cast<size_t>(received.userNameLength)) != 0)
        return UsecUnknownUserName;
    if (pdu->command != PduReport && (received.qoS & 0x03) < (session->securityFlags & 0x03))
        return UsecUnsupportedQoS;
    if ((received.qoS & SecurityAuth) == 0)
        return UsecAccepted;

    // The digest was computed with the key standing in its place.
    uint8_t* field = received.digestPosition;
    if (field == nullptr || field < message || field + KeyLength > message + messageLength)
        return UsecBadParameters;
    std::memcpy(field, session->authKey, KeyLength);
    messageDigest(message, messageLength, session->authKey, field);
    if (!sameOctets(field, received.authDigest, KeyLength))
        return UsecWrongDigest;

    if (received.agentBoots < session->agentBoots)
        return UsecNotInTimeWindow;
    if (received.agentBoots == session->agentBoots) {
        int64_t limit = static_cast<int64_t>(localClock()) + session->timeOffset - TimeWindowSeconds;
        if (limit < 0)
            limit = 0;
        if (static_cast<int64_t>(received.agentTime) < limit)
            return UsecNotInTimeWindow;
    }
    if (received.agentBoots > session->agentBoots || received.agentTime > session->agentTime) {
        session->agentBoots = received.agentBoots;
        session->agentTime = received.agentTime;
        session->timeOffset = addWrapping(received.agentTime, -localClock());
    }
    return UsecAccepted;
}

int32_t discoverAgent(SnmpSession* session)
{
    session->securityFlags = SecurityReportable;
    std::memcpy(session->userName, DiscoveryUser, sizeof DiscoveryUser);
    session->userNameLength = sizeof DiscoveryUser;
    session->version = SnmpVersionUsec;

    syncInstall(session);
    SnmpPdu* request = createPdu(PduGetRequest);
    SnmpPdu* response = nullptr;
    const int32_t status = syncRequest(session, request, &response);
    if (status != 0 || response == nullptr) {
        if (status == 2)
            std::printf("No Response from %s\n", session->peerName != nullptr ? session->peerName : "");
        else
            std::printf("An error occurred, Quitting\n");
        std::fflush(stdout);
        freePdu(response);
        return -1;
    }
    // Taken whatever the hook said: the identifier cannot match before it is known.
    std::memcpy(session->agentId, response->security.agentId, 12);
    session->agentBoots = response->security.agentBoots;
    session->agentTime = response->security.agentTime;
    session->timeOffset = addWrapping(response->security.agentTime, -localClock());
    freePdu(response);
    return 0;
}
