#include "snmp/security/usm/usm_message.h"

#include <cstring>

#include "platform/crypto.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/message.h"
#include "snmp/codec/pdu.h"
#include "snmp/codec/v3_message.h"
#include "snmp/security/common/agent_clock.h"
#include "snmp/security/common/md5.h"
#include "snmp/security/usm/usm_parameters.h"
#include "snmp/security/usm/usm_privacy.h"
#include "snmp/security/usm/usm_session.h"

namespace {

constexpr int32_t TimeWindowSeconds = 150;
constexpr uint8_t LevelBits = SecurityAuth | SecurityPriv;

// usmStats: 1.3.6.1.6.3.15.1.1.n.0, n in the order of UsmReport.
const uint32_t UsmStatsPrefix[] = {1, 3, 6, 1, 6, 3, 15, 1, 1};
constexpr int32_t UsmStatsPrefixLength = sizeof UsmStatsPrefix / sizeof UsmStatsPrefix[0];
const char* const UsmStatsNames[] = {"usmStatsUnsupportedSecLevels", "usmStatsNotInTimeWindows",
                                     "usmStatsUnknownUserNames",     "usmStatsUnknownEngineIDs",
                                     "usmStatsWrongDigests",         "usmStatsDecryptionErrors"};

// HMAC of the pieces: MD5 is the module's own, the rest the platform's.
bool hmac(UsmAuth auth, const uint8_t* key, const CryptoPiece* pieces, int count, uint8_t* mac)
{
    const UsmAuthProtocol* protocol = usmAuthProtocol(auth);
    if (protocol == nullptr)
        return false;
    if (protocol->hash != CryptoHash::Md5)
        return cryptoHmac(protocol->hash, key, protocol->keyLength, pieces, count, mac);
    uint8_t pad[kMd5BlockSize];
    Md5Context context;
    for (size_t i = 0; i < sizeof pad; ++i)
        pad[i] = static_cast<uint8_t>((i < protocol->keyLength ? key[i] : 0) ^ 0x36);
    MD5Init(&context);
    MD5Update(&context, pad, sizeof pad);
    for (int i = 0; i < count; ++i)
        MD5Update(&context, pieces[i].data, static_cast<uint32_t>(pieces[i].length));
    uint8_t inner[kMd5DigestSize];
    MD5Final(inner, &context);
    for (uint8_t& octet : pad)
        octet ^= 0x36 ^ 0x5C;
    MD5Init(&context);
    MD5Update(&context, pad, sizeof pad);
    MD5Update(&context, inner, sizeof inner);
    MD5Final(mac, &context);
    std::memset(pad, 0, sizeof pad);
    return true;
}

// The MAC of the message as if its field (macLength octets at field) were zeros.
bool messageMac(UsmAuth auth, const uint8_t* key, const uint8_t* message, int32_t length, int32_t field,
                int32_t macLength, uint8_t* mac)
{
    static const uint8_t zeros[UsmMaxMacLength] = {};
    const CryptoPiece pieces[3] = {
        {message, static_cast<size_t>(field)},
        {zeros, static_cast<size_t>(macLength)},
        {message + field + macLength, static_cast<size_t>(length - field - macLength)},
    };
    return hmac(auth, key, pieces, 3, mac);
}

bool sameOctets(const uint8_t* a, int32_t aLength, const uint8_t* b, int32_t bLength)
{
    return aLength == bLength && (aLength == 0 || std::memcmp(a, b, static_cast<size_t>(aLength)) == 0);
}

int32_t refuse(const char* why)
{
    diagnose("SNMPv3 message dropped: %s\n", why);
    return UsmRefused;
}

// RFC 3414 3.2 step 7 for a manager: an authentic message moves the view of
// the engine's clock forward, then must lie within the window.
bool withinTimeWindow(UsmSession* usm, const UsmParameters& received)
{
    if (!usm->clockConfirmed) {
        // The discovery's boots and time came unauthenticated: only sent,
        // never held against an authentic message, which sets them.
        usm->boots = received.boots;
        usm->latestTime = received.time;
        usm->timeOffset = offsetToAgentTime(received.time);
        usm->clockConfirmed = true;
    }
    if (received.boots > usm->boots || (received.boots == usm->boots && received.time > usm->latestTime)) {
        usm->boots = received.boots;
        usm->latestTime = received.time;
        usm->timeOffset = offsetToAgentTime(received.time);
    }
    // Judged after the update: a message that latches the boots is outside the window too.
    if (usm->boots == UsmBootsLatched)
        return false;
    if (received.boots < usm->boots)
        return false;
    return static_cast<int64_t>(received.time) >= static_cast<int64_t>(usmEngineTime(usm)) - TimeWindowSeconds;
}

}  // namespace

int32_t frameUsmMessage(const V3Header& header, UsmParameters* parameters, UsmPriv priv, const uint8_t* privKey,
                        const uint8_t* scoped, int32_t scopedLength, uint8_t* packet, int32_t* length, int32_t* macAt)
{
    if (scopedLength < 0 || scopedLength > SnmpPacketSize - static_cast<int32_t>(UsmPrivacyPadding))
        return -1;
    const uint8_t* data = scoped;
    size_t dataLength = static_cast<size_t>(scopedLength);
    uint8_t cipher[SnmpPacketSize];
    const bool encrypted = priv != UsmPriv::None;
    if (encrypted) {
        if (!usmEncrypt(priv, privKey, parameters->boots, parameters->time, scoped, dataLength, cipher, &dataLength,
                        parameters->salt))
            return -1;
        parameters->saltLength = UsmSaltLength;
        data = cipher;
    }
    return frameUsmData(header, *parameters, data, static_cast<int32_t>(dataLength), encrypted, packet, length, macAt);
}

int32_t frameUsmData(const V3Header& header, const UsmParameters& parameters, const uint8_t* data, int32_t dataLength,
                     bool encrypted, uint8_t* packet, int32_t* length, int32_t* macAt)
{
    uint8_t encoded[256];
    int32_t encodedLength = sizeof encoded;
    int32_t authOffset = 0;
    int32_t parametersOffset = 0;
    if (encodeUsmParameters(parameters, encoded, &encodedLength, &authOffset) != 0 ||
        encodeV3Message(header, encoded, encodedLength, data, dataLength, encrypted, packet, length,
                        &parametersOffset) != 0)
        return -1;
    *macAt = parametersOffset + authOffset;
    return 0;
}

int32_t encodeUsmMessage(const SnmpSession* session, const SnmpPdu* pdu, uint8_t* packet, int32_t* length)
{
    const UsmSession* usm = session != nullptr ? session->usm : nullptr;
    // Requests, and the SNMPv2-Trap of a session whose engine is the module's.
    if (usm == nullptr || pdu == nullptr ||
        !(isRequestCommand(pdu->command) || (pdu->command == PduV2Trap && session->localEngine)))
        return -1;
    const UsmCredentials& user = usm->credentials;
    const bool discovery = usm->discovering;
    if (!discovery && (usm->engineIdLength <= 0 || (user.auth != UsmAuth::None && !usm->keyed)))
        return -1;

    V3Header header = {pdu->requestId, SnmpPacketSize, SecurityReportable, UsmSecurityModel};
    UsmParameters parameters = {};
    if (!discovery) {
        // A trap is never answered, so it asks for no Report either (RFC 3412 6.4).
        header.flags = static_cast<uint8_t>(pdu->command == PduV2Trap ? session->securityFlags & ~SecurityReportable
                                                                      : session->securityFlags | SecurityReportable);
        std::memcpy(parameters.engineId, usm->engineId, static_cast<size_t>(usm->engineIdLength));
        parameters.engineIdLength = usm->engineIdLength;
        parameters.boots = usm->boots;
        parameters.time = usmEngineTime(usm);
        std::memcpy(parameters.user, user.user, user.userLength);
        parameters.userLength = static_cast<int32_t>(user.userLength);
        if (user.auth != UsmAuth::None)
            parameters.authLength = usmAuthProtocol(user.auth)->macLength;
    }

    // The scoped PDU; the discovery probe names no engine and no context.
    uint8_t scoped[SnmpPacketSize];
    int32_t scopedLength = SnmpPacketSize - static_cast<int32_t>(UsmPrivacyPadding);
    if (encodeScopedPdu(parameters.engineId, parameters.engineIdLength,
                        discovery ? nullptr : reinterpret_cast<const uint8_t*>(user.context),
                        discovery ? 0 : static_cast<int32_t>(user.contextLength), pdu, scoped, &scopedLength) != 0)
        return -1;
    int32_t field = 0;
    if (frameUsmMessage(header, &parameters, discovery ? UsmPriv::None : user.priv, usm->privKey, scoped, scopedLength,
                        packet, length, &field) != 0)
        return -1;
    if (parameters.authLength > 0) {
        uint8_t mac[CryptoMaxDigestLength];
        if (!messageMac(user.auth, usm->authKey, packet, *length, field, parameters.authLength, mac))
            return -1;  // never send it unsigned
        std::memcpy(packet + field, mac, static_cast<size_t>(parameters.authLength));
    }
    return 0;
}

int32_t receiveUsmMessage(SnmpSession* session, SnmpPdu* pdu, const uint8_t* data, int32_t length)
{
    UsmSession* usm = session != nullptr ? session->usm : nullptr;
    if (usm == nullptr || pdu == nullptr)
        return -1;
    V3Message message;
    UsmParameters received;
    if (decodeV3Message(data, length, &message) != 0 ||
        decodeUsmParameters(message.parameters, message.parametersLength, &received) != 0)
        return -1;
    if (message.header.securityModel != UsmSecurityModel)
        return refuse("another security model");
    const uint8_t level = message.header.flags & LevelBits;
    if (level == SecurityPriv)
        return refuse("privacy without authentication");
    pdu->security.qoS = message.header.flags;
    std::memcpy(pdu->engine.engineId, received.engineId, static_cast<size_t>(received.engineIdLength));
    pdu->engine.engineIdLength = received.engineIdLength;
    pdu->engine.boots = static_cast<uint32_t>(received.boots);
    pdu->engine.time = received.time;
    pdu->engine.msgId = message.header.msgId;

    const UsmCredentials& user = usm->credentials;
    const bool ours = sameOctets(received.engineId, received.engineIdLength, usm->engineId, usm->engineIdLength) &&
                      sameOctets(received.user, received.userLength, reinterpret_cast<const uint8_t*>(user.user),
                                 static_cast<int32_t>(user.userLength));
    if ((level & SecurityAuth) != 0) {
        // Whatever a forger writes, only the user's key makes this MAC.
        const UsmAuthProtocol* protocol = usmAuthProtocol(user.auth);
        if (usm->discovering || !ours || protocol == nullptr || !usm->keyed)
            return refuse("authenticated for another engine or user");
        const int64_t field = (message.parameters - data) + static_cast<int64_t>(received.authOffset);
        if (received.authLength != protocol->macLength || field + received.authLength > length)
            return refuse("wrong digest");
        uint8_t mac[CryptoMaxDigestLength];
        if (!messageMac(user.auth, usm->authKey, data, length, static_cast<int32_t>(field), received.authLength, mac) ||
            !cryptoEqual(mac, data + field, static_cast<size_t>(received.authLength)))
            return refuse("wrong digest");
        if (!withinTimeWindow(usm, received))
            return refuse("not in time window");
    }

    const uint8_t* scoped = message.data;
    int32_t scopedLength = message.dataLength;
    uint8_t plain[SnmpPacketSize];
    if (message.encrypted) {
        if ((level & SecurityPriv) == 0 || user.priv == UsmPriv::None)
            return refuse("encrypted without privacy");
        if (received.saltLength != static_cast<int32_t>(UsmSaltLength) || scopedLength > SnmpPacketSize ||
            !usmDecrypt(user.priv, usm->privKey, received.boots, received.time, received.salt, message.data,
                        static_cast<size_t>(scopedLength), plain))
            return refuse("decryption error");
        scoped = plain;
    } else if ((level & SecurityPriv) != 0) {
        return refuse("privacy flag without ciphertext");
    }
    uint8_t contextEngine[UsmMaxEngineIdLength];
    int32_t contextEngineLength = sizeof contextEngine;
    uint8_t context[UsmMaxContextName];
    int32_t contextLength = sizeof context;
    if (decodeScopedPdu(scoped, scopedLength, contextEngine, &contextEngineLength, context, &contextLength, pdu) != 0)
        return -1;

    // The msgID is the request id the message was sent with.
    if (pdu->requestId != message.header.msgId) {
        if (pdu->command != PduReport || pdu->requestId != 0)
            return refuse("msgID is not the request's");
        pdu->requestId = message.header.msgId;
    }
    if (usm->discovering)
        return pdu->command == PduReport && received.engineIdLength > 0 ? UsmAccepted : refuse("no engine named");
    if (pdu->command == PduReport) {
        const UsmReport kind = usmReportKind(pdu);
        if (level >= (session->securityFlags & LevelBits))
            return UsmAccepted;
        // Below the request's level only two Reports count, and neither
        // gives a value: the clock one, authenticated (agents send it without
        // privacy) and already checked above, and the one that a recalled
        // engine is out of date (it starts a discovery).
        if ((kind == UsmReport::NotInTimeWindow && (level & SecurityAuth) != 0) ||
            (usm->recalled && kind == UsmReport::UnknownEngineId))
            return UsmAccepted;
        diagnose("SNMPv3 %s dropped: %s\n",
                 (level & SecurityAuth) != 0 ? "Report below the request's security level" : "unauthenticated Report",
                 kind >= UsmReport::UnsupportedSecLevel && kind <= UsmReport::DecryptionError
                     ? UsmStatsNames[static_cast<int>(kind) - 1]
                     : "another counter");
        return UsmRefused;
    }
    if (!ours)
        return refuse("another engine or user");
    if (level < (session->securityFlags & LevelBits))
        return refuse("below the request's security level");
    if (!sameOctets(contextEngine, contextEngineLength, usm->engineId, usm->engineIdLength) ||
        !sameOctets(context, contextLength, reinterpret_cast<const uint8_t*>(user.context),
                    static_cast<int32_t>(user.contextLength)))
        return refuse("another context");
    return UsmAccepted;
}

UsmReport usmReportKind(const SnmpPdu* pdu)
{
    if (pdu == nullptr || pdu->command != PduReport)
        return UsmReport::None;
    const VarBind* var = pdu->variables;
    if (var == nullptr || var->nameLength != UsmStatsPrefixLength + 2 ||
        std::memcmp(var->name, UsmStatsPrefix, sizeof UsmStatsPrefix) != 0)
        return UsmReport::Other;
    const uint32_t counter = var->name[UsmStatsPrefixLength];
    return counter >= 1 && counter <= 6 ? static_cast<UsmReport>(counter) : UsmReport::Other;
}
