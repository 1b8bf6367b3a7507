#include "tools/agent/usm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/crypto.h"
#include "platform/hex_digits.h"
#include "platform/runtime.h"
#include "snmp/codec/message.h"
#include "snmp/codec/v3_message.h"
#include "snmp/security/usm/usm_keys.h"
#include "snmp/security/usm/usm_message.h"
#include "snmp/security/usm/usm_parameters.h"
#include "snmp/security/usm/usm_privacy.h"
#include "snmp/security/usm/usm_string.h"

namespace testagent {

const std::vector<uint8_t> DefaultUsmEngineId = {0x80, 0x01, 0x86, 0x9F, 0x04, 'v', 'a', 'n', 't',
                                                 'o',  'r',  '-',  'a',  'g',  'e', 'n', 't'};

namespace {

constexpr uint8_t LevelBits = SecurityAuth | SecurityPriv;
constexpr int32_t StaleForgerySeconds = 1000;
constexpr int32_t ForgedMsgIdOffset = 1000;
// Room for a context name read from a request; agents name at most 32 octets.
constexpr int32_t ContextCapacity = 64;
constexpr int32_t MaxInteger = 2147483647;

std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t begin = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            parts.push_back(text.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    return parts;
}

bool readHex(const std::string& digits, std::vector<uint8_t>* out)
{
    if (digits.size() % 2 != 0)
        return false;
    out->clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = hexDigitValue(digits[i]);
        const int low = hexDigitValue(digits[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out->push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

bool hexPrefixed(const std::string& text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// A secret as the module reads it: "0x" and keyLength octets of localised
// key, or a pass phrase localised to the engine with the authentication hash
// (and lengthened by the privacy protocol's rule where it is too short).
bool readSecret(const std::string& text, UsmAuth auth, size_t keyLength, UsmKeyExtension extension,
                const std::vector<uint8_t>& engineId, UsmKey* key, std::string* why)
{
    if (hexPrefixed(text)) {
        std::vector<uint8_t> octets;
        if (!readHex(text.substr(2), &octets) || octets.size() != keyLength) {
            *why = "a key of \"0x\" and " + std::to_string(2 * keyLength) + " hexadecimal digits";
            return false;
        }
        std::copy(octets.begin(), octets.end(), key->begin());
        return true;
    }
    if (text.size() < UsmMinPassPhrase) {
        *why = "a pass phrase of at least 8 characters";
        return false;
    }
    uint8_t ku[UsmMaxKeyLength];
    if (!usmPasswordToKey(auth, reinterpret_cast<const uint8_t*>(text.data()), text.size(), ku) ||
        !usmLocalizeKey(auth, ku, engineId.data(), engineId.size(), key->data()) ||
        !usmExtendKey(auth, extension, engineId.data(), engineId.size(), key->data(), keyLength)) {
        *why = "a key the platform's hash could not make";
        return false;
    }
    return true;
}

// The HMAC of the message with its MAC field (macLength octets at field) as zeros.
bool messageMac(const UsmAuthProtocol& protocol, const uint8_t* key, const uint8_t* data, size_t length,
                size_t field, size_t macLength, uint8_t* mac)
{
    static const uint8_t zeros[UsmMaxMacLength] = {};
    const CryptoPiece pieces[3] = {
        {data, field}, {zeros, macLength}, {data + field + macLength, length - field - macLength}};
    return cryptoHmac(protocol.hash, key, protocol.keyLength, pieces, 3, mac);
}

// What the agent read of a request's scoped PDU.
struct Scoped {
    PduPtr pdu;
    std::string context;
};

// The scoped PDU, decrypted first with the user's privacy key when the
// message is encrypted. False when it cannot be read.
bool readScoped(const V3Message& message, const UsmParameters& p, const UsmUser* user, Scoped* out)
{
    const uint8_t* scoped = message.data;
    uint8_t plain[SnmpPacketSize];
    if (message.encrypted) {
        if (user == nullptr || user->priv == UsmPriv::None || p.saltLength != static_cast<int32_t>(UsmSaltLength) ||
            message.dataLength > SnmpPacketSize ||
            !usmDecrypt(user->priv, user->privKey.data(), p.boots, p.time, p.salt, message.data,
                        static_cast<size_t>(message.dataLength), plain))
            return false;
        scoped = plain;
    }
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    uint8_t engine[UsmMaxEngineIdLength];
    int32_t engineLength = sizeof engine;
    uint8_t context[ContextCapacity];
    int32_t contextLength = sizeof context;
    if (!pdu || decodeScopedPdu(scoped, message.dataLength, engine, &engineLength, context, &contextLength,
                                pdu.get()) != 0)
        return false;
    out->pdu = std::move(pdu);
    out->context.assign(reinterpret_cast<const char*>(context), static_cast<size_t>(contextLength));
    return true;
}

const char* refusalAction(UsmRefusal refusal)
{
    switch (refusal) {
    case UsmRefusal::UnsupportedSecLevel:
        return "unsupported-level";
    case UsmRefusal::NotInTimeWindow:
        return "not-in-time-window";
    case UsmRefusal::UnknownUserName:
        return "unknown-user";
    case UsmRefusal::UnknownEngineId:
        return "discovery";
    case UsmRefusal::WrongDigest:
        return "wrong-digest";
    case UsmRefusal::DecryptionError:
        return "decryption-error";
    }
    return "bad-parameters";
}

HookOutcome dropped(const char* action)
{
    HookOutcome outcome;
    outcome.action = HookAction::Drop;
    outcome.logAction = action;
    return outcome;
}

ReplyEncoder encoderOf(const UsmShape& shape)
{
    return [shape](const SnmpPdu& pdu, std::vector<uint8_t>* out) { return encodeUsmShaped(shape, pdu, out); };
}

// Framed as frameUsmMessage frames it, but with the ciphertext cut short or
// its salt left out of msgPrivacyParameters.
bool frameDamagedCipher(const UsmShape& shape, const V3Header& header, UsmParameters* parameters,
                        const uint8_t* scoped, int32_t scopedLength, uint8_t* packet, int32_t* length, int32_t* macAt)
{
    uint8_t cipher[SnmpPacketSize];
    size_t cipherLength = 0;
    if (!usmEncrypt(shape.priv, shape.privKey.data(), parameters->boots, parameters->time, scoped,
                    static_cast<size_t>(scopedLength), cipher, &cipherLength, parameters->salt))
        return false;
    cipherLength -= std::min(cipherLength, static_cast<size_t>(shape.cipherCut));
    parameters->saltLength = shape.saltless ? 0 : static_cast<int32_t>(UsmSaltLength);
    return frameUsmData(header, *parameters, cipher, static_cast<int32_t>(cipherLength), true, packet, length,
                        macAt) == 0;
}

}  // namespace

bool parseUsmEngineId(const std::string& text, std::vector<uint8_t>* id)
{
    std::vector<uint8_t> octets;
    if (!readHex(hexPrefixed(text) ? text.substr(2) : text, &octets) || octets.size() < 5 ||
        octets.size() > UsmMaxEngineIdLength)
        return false;
    *id = octets;
    return true;
}

bool parseUsmUser(const std::string& text, const std::vector<uint8_t>& engineId, UsmUser* user, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = "v3 user " + text + ": " + why;
        return false;
    };
    const std::vector<std::string> fields = splitAt(text, ':');
    if (fields.size() != 1 && fields.size() != 3 && fields.size() != 5)
        return fail("NAME[:AUTH:SECRET[:PRIV:SECRET]]");
    UsmUser out;
    out.name = fields[0];
    if (out.name.empty() || out.name.size() > 32)
        return fail("a name of 1 to 32 octets");
    std::string why;
    if (fields.size() >= 3) {
        if (!findUsmAuth(fields[1].data(), fields[1].size(), &out.auth))
            return fail("authentication MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512");
        if (!readSecret(fields[2], out.auth, usmAuthProtocol(out.auth)->keyLength, UsmKeyExtension::None, engineId,
                        &out.authKey, &why))
            return fail(why);
    }
    if (fields.size() == 5) {
        if (!findUsmPriv(fields[3].data(), fields[3].size(), &out.priv))
            return fail("privacy DES, AES, AES-192, AES-256, AES-192C or AES-256C");
        const UsmPrivProtocol* priv = usmPrivProtocol(out.priv);
        if (!readSecret(fields[4], out.auth, priv->keyLength, priv->extension, engineId, &out.privKey, &why))
            return fail(why);
    }
    *user = out;
    return true;
}

bool parseUsmForgery(const std::string& word, UsmForgery* forgery)
{
    for (int kind = 0; kind < UsmForgeryKinds; ++kind) {
        const auto f = static_cast<UsmForgery>(kind);
        if (word == usmForgeryName(f)) {
            *forgery = f;
            return true;
        }
    }
    return false;
}

const char* usmForgeryName(UsmForgery forgery)
{
    switch (forgery) {
    case UsmForgery::WrongDigest:
        return "digest";
    case UsmForgery::StaleTime:
        return "stale";
    case UsmForgery::WrongMsgId:
        return "msgid";
    case UsmForgery::UnauthenticatedReport:
        return "report";
    case UsmForgery::Replay:
        return "replay";
    case UsmForgery::EmptyMac:
        return "empty-mac";
    case UsmForgery::ShortMac:
        return "short-mac";
    case UsmForgery::LongMac:
        return "long-mac";
    case UsmForgery::ContextEngine:
        return "context-engine";
    case UsmForgery::Context:
        return "context";
    case UsmForgery::ClockReport:
        return "clock-report";
    case UsmForgery::NamelessDiscovery:
        return "no-engine";
    case UsmForgery::Plain:
        return "plain";
    case UsmForgery::SecurityModel:
        return "model";
    case UsmForgery::PrivacyOnly:
        return "priv-only";
    case UsmForgery::MacFirstOctet:
        return "mac-first";
    case UsmForgery::MacLastOctet:
        return "mac-last";
    case UsmForgery::ZeroRequestId:
        return "id-0";
    case UsmForgery::ReportOtherId:
        return "report-id";
    case UsmForgery::OtherUser:
        return "user";
    case UsmForgery::OtherEngine:
        return "engine";
    case UsmForgery::CipherWithoutFlag:
        return "cipher-auth";
    case UsmForgery::Cleartext:
        return "cleartext";
    case UsmForgery::PrivacyForNone:
        return "privacy";
    case UsmForgery::Saltless:
        return "no-salt";
    case UsmForgery::CutCipher:
        return "short-cipher";
    case UsmForgery::EngineReport:
        return "engine-report";
    case UsmForgery::ForeignReport:
        return "foreign-report";
    case UsmForgery::DiscoveryResponse:
        return "discovery-response";
    }
    return "digest";
}

bool usmForgeryBeforeDiscovery(UsmForgery forgery)
{
    return forgery == UsmForgery::NamelessDiscovery || forgery == UsmForgery::DiscoveryResponse;
}

std::vector<Variable> usmForgeryReportBindings(UsmForgery forgery)
{
    OidVector name;
    switch (forgery) {
    case UsmForgery::ClockReport:
        name = usmStatsName(UsmRefusal::NotInTimeWindow);
        break;
    case UsmForgery::EngineReport:
        name = usmStatsName(UsmRefusal::UnknownEngineId);
        break;
    case UsmForgery::ForeignReport:
        // usmUserTable's branch, the length of a usmStats counter, 4 where the unknown-engine one has it.
        name = {1, 3, 6, 1, 6, 3, 15, 1, 2, 4, 0};
        break;
    default:
        return {};
    }
    return {makeVariable(name, ASN_COUNTER, uint32Value(1))};
}

OidVector usmStatsName(UsmRefusal refusal)
{
    return {1, 3, 6, 1, 6, 3, 15, 1, 1, static_cast<uint32_t>(refusal), 0};
}

bool encodeUsmShaped(const UsmShape& shape, const SnmpPdu& pdu, std::vector<uint8_t>* out)
{
    const bool authenticated = (shape.flags & SecurityAuth) != 0;
    const bool encrypted = shape.encrypt >= 0 ? shape.encrypt != 0 : (shape.flags & SecurityPriv) != 0;
    const UsmAuthProtocol* auth = usmAuthProtocol(shape.auth);
    if ((authenticated && auth == nullptr) || (encrypted && shape.priv == UsmPriv::None) ||
        shape.engineId.size() > UsmMaxEngineIdLength || shape.contextEngineId.size() > UsmMaxEngineIdLength ||
        shape.user.size() > sizeof UsmParameters{}.user || shape.context.size() > UsmMaxContextName)
        return false;
    const int32_t macLength = !authenticated ? 0 : shape.macLength >= 0 ? shape.macLength : auth->macLength;
    if (authenticated && static_cast<size_t>(macLength) > cryptoDigestLength(auth->hash))
        return false;

    UsmParameters parameters = {};
    std::copy(shape.engineId.begin(), shape.engineId.end(), parameters.engineId);
    parameters.engineIdLength = static_cast<int32_t>(shape.engineId.size());
    parameters.boots = shape.boots;
    parameters.time = shape.time;
    std::copy(shape.user.begin(), shape.user.end(), parameters.user);
    parameters.userLength = static_cast<int32_t>(shape.user.size());
    parameters.authLength = macLength;

    SnmpPdu shaped = pdu;  // a shallow copy for the encoder: only its request id may differ
    shaped.requestId = shape.zeroRequestId ? 0
                                           : static_cast<int32_t>(static_cast<uint32_t>(pdu.requestId) +
                                                                  static_cast<uint32_t>(shape.requestIdOffset));
    uint8_t scoped[SnmpPacketSize];
    int32_t scopedLength = SnmpPacketSize - static_cast<int32_t>(UsmPrivacyPadding);
    if (encodeScopedPdu(shape.contextEngineId.data(), static_cast<int32_t>(shape.contextEngineId.size()),
                        reinterpret_cast<const uint8_t*>(shape.context.data()),
                        static_cast<int32_t>(shape.context.size()), &shaped, scoped, &scopedLength) != 0)
        return false;
    const V3Header header = {shape.msgId, UsmAgentMaxSize, shape.flags, shape.securityModel};
    uint8_t packet[SnmpPacketSize];
    int32_t length = sizeof packet;
    int32_t field = 0;
    if (encrypted && (shape.saltless || shape.cipherCut > 0)) {
        if (!frameDamagedCipher(shape, header, &parameters, scoped, scopedLength, packet, &length, &field))
            return false;
    } else if (frameUsmMessage(header, &parameters, encrypted ? shape.priv : UsmPriv::None, shape.privKey.data(),
                               scoped, scopedLength, packet, &length, &field) != 0) {
        return false;
    }
    if (authenticated) {
        // The field is zeros as encoded: the MAC goes over the message as it stands.
        uint8_t mac[CryptoMaxDigestLength] = {};
        const CryptoPiece whole = {packet, static_cast<size_t>(length)};
        if (!cryptoHmac(auth->hash, shape.authKey.data(), auth->keyLength, &whole, 1, mac))
            return false;
        if (shape.changedMacOctet >= 0 && shape.changedMacOctet < macLength)
            mac[shape.changedMacOctet] ^= 0x01;
        std::memcpy(packet + field, mac, static_cast<size_t>(macLength));
    }
    out->assign(packet, packet + length);
    return true;
}

UsmShape forgedShape(const UsmShape& genuine, UsmForgery forgery, int32_t* command)
{
    UsmShape forged = genuine;
    *command = 0;
    switch (forgery) {
    case UsmForgery::WrongDigest:
        // Were it believed, it would move the manager's clock forward.
        forged.flags |= SecurityAuth;
        if (forged.auth == UsmAuth::None)
            forged.auth = UsmAuth::Sha1;
        for (uint8_t& b : forged.authKey)
            b ^= 0x5A;
        forged.boots = std::min(forged.boots, MaxInteger - 1) + 1;
        forged.time = std::min(forged.time, MaxInteger - 100) + 100;
        break;
    case UsmForgery::StaleTime:
        forged.time = std::max(forged.time - StaleForgerySeconds, 0);
        break;
    case UsmForgery::WrongMsgId:
        forged.msgId = static_cast<int32_t>((static_cast<uint32_t>(genuine.msgId) + ForgedMsgIdOffset) & 0x7FFFFFFFu);
        break;
    case UsmForgery::UnauthenticatedReport:
        forged.flags = 0;
        *command = PduReport;
        break;
    case UsmForgery::Replay:
        break;
    case UsmForgery::EmptyMac:
    case UsmForgery::ShortMac:
    case UsmForgery::LongMac:
        // Signed with the right key all the same: only the length is wrong.
        forged.flags |= SecurityAuth;
        if (forged.auth == UsmAuth::None)
            forged.auth = UsmAuth::Sha1;
        forged.macLength = forgery == UsmForgery::EmptyMac ? 0
                           : static_cast<int32_t>(usmAuthProtocol(forged.auth)->macLength) +
                                 (forgery == UsmForgery::ShortMac ? -1 : 1);
        break;
    case UsmForgery::ContextEngine:
        if (!forged.contextEngineId.empty())
            forged.contextEngineId.pop_back();
        break;
    case UsmForgery::Context:
        forged.context += "x";
        break;
    case UsmForgery::ClockReport:
        forged.flags = 0;
        *command = PduReport;
        break;
    case UsmForgery::NamelessDiscovery:
        forged.flags = 0;
        forged.engineId.clear();
        *command = PduReport;
        break;
    case UsmForgery::Plain:
        forged.flags = 0;
        break;
    case UsmForgery::SecurityModel:
        forged.securityModel = 2;
        break;
    case UsmForgery::PrivacyOnly:
        forged.flags = SecurityPriv;
        if (forged.priv == UsmPriv::None)
            forged.priv = UsmPriv::Aes128;
        break;
    case UsmForgery::MacFirstOctet:
    case UsmForgery::MacLastOctet:
        forged.flags |= SecurityAuth;
        if (forged.auth == UsmAuth::None)
            forged.auth = UsmAuth::Sha1;
        forged.changedMacOctet =
            forgery == UsmForgery::MacFirstOctet ? 0 : usmAuthProtocol(forged.auth)->macLength - 1;
        break;
    case UsmForgery::ZeroRequestId:
        forged.zeroRequestId = true;
        break;
    case UsmForgery::ReportOtherId:
        forged.requestIdOffset = 1;
        *command = PduReport;
        break;
    case UsmForgery::OtherUser:
        forged.user += "x";
        break;
    case UsmForgery::OtherEngine:
        if (!forged.engineId.empty())
            forged.engineId.pop_back();
        break;
    case UsmForgery::CipherWithoutFlag:
        forged.flags &= static_cast<uint8_t>(~SecurityPriv);
        forged.encrypt = 1;
        if (forged.priv == UsmPriv::None)
            forged.priv = UsmPriv::Aes128;
        break;
    case UsmForgery::Cleartext:
        forged.flags |= SecurityAuth | SecurityPriv;
        if (forged.auth == UsmAuth::None)
            forged.auth = UsmAuth::Sha1;
        forged.encrypt = 0;
        break;
    case UsmForgery::PrivacyForNone:
        forged.flags |= SecurityPriv;
        if (forged.priv == UsmPriv::None)
            forged.priv = UsmPriv::Aes128;
        break;
    case UsmForgery::Saltless:
    case UsmForgery::CutCipher:
        forged.saltless = forgery == UsmForgery::Saltless;
        forged.cipherCut = forgery == UsmForgery::CutCipher ? 1 : 0;
        forged.encrypt = 1;
        if (forged.priv == UsmPriv::None)
            forged.priv = UsmPriv::Aes128;
        break;
    case UsmForgery::EngineReport:
    case UsmForgery::ForeignReport:
        forged.flags = 0;
        *command = PduReport;
        break;
    case UsmForgery::DiscoveryResponse:
        forged.flags = 0;
        forged.engineId = {0x80, 0x01, 0x86, 0x9F, 0x04, 'f', 'o', 'r', 'g', 'e', 'r'};
        *command = PduResponse;
        break;
    }
    return forged;
}

UsmAgent::UsmAgent(UsmConfig config)
    : config_(std::move(config)), started_(static_cast<int64_t>(runtimeTime(nullptr)))
{
}

RequestHook UsmAgent::hook()
{
    return [this](ReceivedRequest& request) { return judge(request); };
}

int32_t UsmAgent::agentTimeLocked() const
{
    const int64_t seconds = static_cast<int64_t>(runtimeTime(nullptr)) - started_ + config_.timeOffset;
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(seconds, 0), MaxInteger));
}

int32_t UsmAgent::agentTime() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return agentTimeLocked();
}

int32_t UsmAgent::boots() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.boots;
}

std::vector<uint8_t> UsmAgent::engineId() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.engineId;
}

bool UsmAgent::user(const std::string& name, UsmUser* out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const UsmUser& u : config_.users) {
        if (u.name == name) {
            if (out != nullptr)
                *out = u;
            return true;
        }
    }
    return false;
}

void UsmAgent::setMisbehaviour(const UsmMisbehaviour& misbehaviour)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.misbehaviour = misbehaviour;
}

void UsmAgent::setBoots(int32_t boots)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.boots = boots;
}

void UsmAgent::setTimeOffset(int64_t offset)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.timeOffset = offset;
}

uint32_t UsmAgent::refusals(UsmRefusal refusal) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_[static_cast<int>(refusal)];
}

UsmShape UsmAgent::shapeFor(const UsmUser* user, int32_t msgId, uint8_t flags, const std::string& context) const
{
    UsmShape shape;
    shape.msgId = msgId;
    shape.flags = flags;
    shape.engineId = config_.engineId;
    shape.boots = config_.boots;
    shape.time = agentTimeLocked();
    shape.contextEngineId = config_.engineId;
    shape.context = context;
    if (user != nullptr) {
        shape.user = user->name;
        shape.auth = user->auth;
        shape.priv = user->priv;
        shape.authKey = user->authKey;
        shape.privKey = user->privKey;
    }
    return shape;
}

HookOutcome UsmAgent::refuse(ReceivedRequest& request, const std::string& userName, int32_t msgId, int32_t requestId,
                             uint8_t flags, UsmRefusal refusal, const UsmUser* user)
{
    const uint32_t counter = ++counters_[static_cast<int>(refusal)];
    HookOutcome outcome;
    outcome.logAction = refusalAction(refusal);
    if (!request.decoded) {
        // The request id of a PDU that could not be read: 0, the msgID stands for it.
        request.decoded.reset(createPdu(PduGetRequest));
        if (request.decoded)
            request.decoded->requestId = requestId;
    }
    // Only a reportable request hears why it was refused.
    if ((flags & SecurityReportable) == 0 || !request.decoded) {
        outcome.action = HookAction::Drop;
        return outcome;
    }
    // A clock Report goes authenticated to a user who authenticates, so that
    // the manager may believe the clock it carries; the others go without a
    // digest, since the agent could not tell who asked.
    const bool authenticate = refusal == UsmRefusal::NotInTimeWindow && user != nullptr && user->auth != UsmAuth::None;
    UsmShape shape = shapeFor(user, msgId, authenticate ? SecurityAuth : 0, "");
    shape.user = userName;
    request.encoder = encoderOf(shape);
    outcome.action = HookAction::Report;
    outcome.reportBindings = {makeVariable(usmStatsName(refusal), ASN_COUNTER, uint32Value(counter))};
    for (UsmForgery forgery : config_.misbehaviour.forgeFirst) {
        if (refusal != UsmRefusal::UnknownEngineId || !usmForgeryBeforeDiscovery(forgery))
            continue;
        ReplyVariant variant;
        variant.encoder = encoderOf(forgedShape(shape, forgery, &variant.command));
        variant.bindingsInstead = outcome.reportBindings;
        request.forgedFirst.push_back(std::move(variant));
    }
    return outcome;
}

HookOutcome UsmAgent::judge(ReceivedRequest& request)
{
    if (request.version != SnmpVersion3)
        return HookOutcome();  // the community checks decide
    std::lock_guard<std::mutex> lock(mutex_);

    const uint8_t* data = request.datagram.data();
    const size_t length = request.datagram.size();
    V3Message message;
    UsmParameters p;
    if (length > static_cast<size_t>(MaxInteger) || decodeV3Message(data, static_cast<int32_t>(length), &message) != 0)
        return dropped("undecodable");
    if (message.header.securityModel != UsmSecurityModel)
        return dropped("unknown-security-model");
    // Nothing in a message whose parameters break the format can be trusted,
    // not even whether it wants a Report.
    const uint8_t flags = message.header.flags;
    if (decodeUsmParameters(message.parameters, message.parametersLength, &p) != 0 ||
        (flags & LevelBits) == SecurityPriv || message.encrypted != ((flags & SecurityPriv) != 0))
        return dropped("bad-parameters");
    const std::string userName(reinterpret_cast<const char*>(p.user), static_cast<size_t>(p.userLength));
    const int32_t msgId = message.header.msgId;
    if (request.logged) {
        request.logCommunitySet = true;
        request.logCommunity = userName;
        char fields[96];
        std::snprintf(fields, sizeof fields, "flags=0x%02X boots=%d time=%d msgid=%d", static_cast<unsigned>(flags),
                      static_cast<int>(p.boots), static_cast<int>(p.time), static_cast<int>(msgId));
        request.logFields = fields;
    }

    const UsmUser* user = nullptr;
    for (const UsmUser& u : config_.users) {
        if (u.name == userName)
            user = &u;
    }
    // Read as far as it can be before judging, so that a Report names the request.
    Scoped scoped;
    if (readScoped(message, p, user, &scoped)) {
        request.decoded = std::move(scoped.pdu);
        if (request.logged)
            request.logFields += " context=" + formatValue(ASN_OCTET_STR, bytesValue(scoped.context), true);
    }
    const int32_t requestId = request.decoded ? request.decoded->requestId : 0;

    // Another engine (none, from a manager that discovers): the Report tells
    // it the identifier, boots and time.
    const bool ourEngine = p.engineIdLength == static_cast<int32_t>(config_.engineId.size()) &&
                           std::equal(config_.engineId.begin(), config_.engineId.end(), p.engineId);
    if (!ourEngine)
        return refuse(request, userName, msgId, requestId, flags, UsmRefusal::UnknownEngineId, nullptr);
    if (user == nullptr)
        return refuse(request, userName, msgId, requestId, flags, UsmRefusal::UnknownUserName, nullptr);
    const uint8_t level = flags & LevelBits;
    if (((level & SecurityAuth) != 0 && user->auth == UsmAuth::None) ||
        ((level & SecurityPriv) != 0 && user->priv == UsmPriv::None))
        return refuse(request, userName, msgId, requestId, flags, UsmRefusal::UnsupportedSecLevel, nullptr);

    const int32_t now = agentTimeLocked();
    if ((level & SecurityAuth) != 0) {
        const UsmAuthProtocol& protocol = *usmAuthProtocol(user->auth);
        const size_t field = static_cast<size_t>(message.parameters - data) + static_cast<size_t>(p.authOffset);
        uint8_t mac[CryptoMaxDigestLength];
        if (p.authLength != protocol.macLength || field + protocol.macLength > length ||
            !messageMac(protocol, user->authKey.data(), data, length, field, protocol.macLength, mac) ||
            !cryptoEqual(mac, data + field, protocol.macLength))
            return refuse(request, userName, msgId, requestId, flags, UsmRefusal::WrongDigest, nullptr);
        const int64_t drift = static_cast<int64_t>(p.time) - now;
        if (config_.boots == MaxInteger || p.boots != config_.boots || drift > UsmTimeWindowSeconds ||
            drift < -UsmTimeWindowSeconds)
            return refuse(request, userName, msgId, requestId, flags, UsmRefusal::NotInTimeWindow, user);
    }
    if (!request.decoded) {
        if (message.encrypted)
            return refuse(request, userName, msgId, requestId, flags, UsmRefusal::DecryptionError, nullptr);
        return dropped("undecodable");
    }

    // Answered at the request's level, in its context, with the agent's clock.
    const UsmShape shape = shapeFor(user, msgId, level, scoped.context);
    request.encoder = encoderOf(shape);
    request.replyOverhead = UsmReplyOverhead;
    for (UsmForgery forgery : config_.misbehaviour.forgeFirst) {
        if (usmForgeryBeforeDiscovery(forgery))
            continue;
        ReplyVariant variant;
        variant.previousReply = forgery == UsmForgery::Replay;
        variant.encoder = encoderOf(forgedShape(shape, forgery, &variant.command));
        variant.bindingsInstead = usmForgeryReportBindings(forgery);
        request.forgedFirst.push_back(std::move(variant));
    }
    request.withholdReply = config_.misbehaviour.forgeOnly;
    HookOutcome outcome;
    outcome.action = HookAction::Answer;
    return outcome;
}

}  // namespace testagent
