// The test agent's SNMPv3 mode (RFC 3412 messages, the user-based security
// model of RFC 3414): a RequestHook that answers version-3 messages for
// configured users with the discovery Report, the Reports of its refusals
// (authenticated when it is the clock that is off), and Responses at the
// request's level; on request it sends forged replies just before the
// genuine one.
//
// Framing, keys, parameters and privacy are the engine's own pieces
// (v3_message.h, usm_parameters.h, usm_keys.h, usm_privacy.h); the HMAC is
// the platform's (crypto.h) for every protocol, MD5 included, so the module's
// own MD5 HMAC meets one it did not compute.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "snmp/codec/v3_message.h"
#include "snmp/security/usm/usm_protocols.h"
#include "tools/agent/test_agent.h"

namespace testagent {

using UsmKey = std::array<uint8_t, UsmMaxKeyLength>;

// 80 01 86 9F (enterprise 99999, RFC 3411 format), 04 (text), "vantor-agent".
extern const std::vector<uint8_t> DefaultUsmEngineId;

// Requests whose clock lies further from the agent's are refused.
constexpr int32_t UsmTimeWindowSeconds = 150;
// The largest message the agent announces (msgMaxSize).
constexpr int32_t UsmAgentMaxSize = 4500;
// What framing, parameters and a MAC add around a scoped PDU, at most.
constexpr int32_t UsmReplyOverhead = 200;

struct UsmUser {
    std::string name;
    UsmAuth auth = UsmAuth::None;
    UsmPriv priv = UsmPriv::None;
    UsmKey authKey{};  // localised to the agent's engine
    UsmKey privKey{};  // the same, from the privacy secret with the authentication hash
};

// "NAME", "NAME:AUTH:SECRET" or "NAME:AUTH:SECRET:PRIV:SECRET", the protocols
// as the module writes them (MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512;
// DES, AES, AES-192, AES-256, AES-192C, AES-256C; any letter case), each
// secret a pass phrase of at least 8 characters without ':' or "0x" and the
// localised key in hexadecimal. The name is 1 to 32 octets. Pass phrases are
// localised to engineId.
bool parseUsmUser(const std::string& text, const std::vector<uint8_t>& engineId, UsmUser* user, std::string* error);
// 5 to 32 octets in hexadecimal, "0x" allowed before them.
bool parseUsmEngineId(const std::string& text, std::vector<uint8_t>* id);

// Forged replies sent just before the genuine one. Each is one a manager
// must drop; their bindings carry ForgedValue (the replay carries whatever
// the earlier reply did, a Report of a counter that counter).
enum class UsmForgery {
    WrongDigest,            // "digest": authenticated with another key, boots + 1 and time + 100
    StaleTime,              // "stale": the right digest, time 1000 s behind the agent's
    WrongMsgId,             // "msgid": the right digest, msgID + 1000 (the PDU keeps the request id)
    UnauthenticatedReport,  // "report": a Report without digest or privacy, msgID and request id the awaited ones
    Replay,                 // "replay": the reply to the previous answered request, as it went out
    EmptyMac,               // "empty-mac": authenticated, with a MAC field of no octets
    ShortMac,               // "short-mac": the right key's MAC one octet short (computed over the shorter field)
    LongMac,                // "long-mac": the right key's MAC one octet long (likewise)
    ContextEngine,          // "context-engine": the right digest, contextEngineID the agent's without its last octet
    Context,                // "context": the right digest, the answer's context name with "x" after it
    ClockReport,            // "clock-report": "report" carrying usmStatsNotInTimeWindows
    NamelessDiscovery,      // "no-engine": before a discovery's Report only, that Report naming no engine
    Plain,                  // "plain": without digest or privacy
    SecurityModel,          // "model": the right digest, msgSecurityModel 2
    PrivacyOnly,            // "priv-only": encrypted with the right key, flagged privacy without authentication, no MAC
    MacFirstOctet,          // "mac-first": the right MAC with its first octet changed
    MacLastOctet,           // "mac-last": the right MAC with its last octet changed
    ZeroRequestId,          // "id-0": the right digest, the PDU's request id 0 (the msgID the awaited one)
    ReportOtherId,          // "report-id": a Report at the answer's level, the PDU's request id + 1
    OtherUser,              // "user": the right digest, the user name with "x" after it
    OtherEngine,            // "engine": the right digest, msgAuthoritativeEngineID the agent's without its last octet
    CipherWithoutFlag,      // "cipher-auth": the right digest, encrypted but flagged authNoPriv
    Cleartext,              // "cleartext": the right digest, flagged authPriv, the scoped PDU in clear
    PrivacyForNone,         // "privacy": flagged authPriv, encrypted (for a user without privacy: AES, a key of zeros)
    Saltless,               // "no-salt": the right digest, encrypted, msgPrivacyParameters empty
    CutCipher,              // "short-cipher": the right digest over a ciphertext one octet short
    EngineReport,           // "engine-report": "report" carrying usmStatsUnknownEngineIDs
    ForeignReport,          // "foreign-report": "report" carrying a counter as long as usmStats', but outside it
    DiscoveryResponse,      // "discovery-response": before a discovery's Report only, a Response naming another engine
};
constexpr int UsmForgeryKinds = static_cast<int>(UsmForgery::DiscoveryResponse) + 1;
// Whether the kind goes before the agent's discovery Report (and not before answers).
bool usmForgeryBeforeDiscovery(UsmForgery forgery);
// The binding a Report forgery of a counter carries (nothing for the other kinds).
std::vector<Variable> usmForgeryReportBindings(UsmForgery forgery);
bool parseUsmForgery(const std::string& word, UsmForgery* forgery);
const char* usmForgeryName(UsmForgery forgery);

// Applies to the answered requests the agent's Misbehaviour affects (all of
// them unless misbehaveCount limits it), like the agent's own misbehaviour.
struct UsmMisbehaviour {
    std::vector<UsmForgery> forgeFirst;  // sent before the answer, in order
    bool forgeOnly = false;              // the answer itself is not sent
};

struct UsmConfig {
    std::vector<uint8_t> engineId = DefaultUsmEngineId;
    int32_t boots = 1;
    int64_t timeOffset = 0;  // agent time = seconds since the mode started + timeOffset
    std::vector<UsmUser> users;
    UsmMisbehaviour misbehaviour;
};

// The usmStats counters of RFC 3414, 1.3.6.1.6.3.15.1.1.N.0, which Reports carry.
enum class UsmRefusal {
    UnsupportedSecLevel = 1,
    NotInTimeWindow = 2,
    UnknownUserName = 3,
    UnknownEngineId = 4,
    WrongDigest = 5,
    DecryptionError = 6,
};
OidVector usmStatsName(UsmRefusal refusal);

// How one SNMPv3 message of the agent is made.
struct UsmShape {
    int32_t msgId = 0;
    uint8_t flags = 0;  // SecurityAuth, SecurityPriv (SecurityReportable for a request)
    std::vector<uint8_t> engineId;
    int32_t boots = 0;
    int32_t time = 0;
    std::string user;
    std::vector<uint8_t> contextEngineId;
    std::string context;
    UsmAuth auth = UsmAuth::None;  // the keys of the user, for the flags that need them
    UsmPriv priv = UsmPriv::None;
    UsmKey authKey{};
    UsmKey privKey{};
    // The MAC's octets when authenticated (computed over a field of that
    // many zeros, truncated or not); -1: the protocol's.
    int32_t macLength = -1;
    // Changes that make a message wrong in one point only.
    int32_t securityModel = UsmSecurityModel;
    int32_t changedMacOctet = -1;  // this octet of the MAC, once computed, changed
    int32_t encrypt = -1;          // -1: as the flags say; 0 or 1: whatever they say
    bool zeroRequestId = false;    // the PDU's request id 0 ...
    int32_t requestIdOffset = 0;   // ... or this added to it
    bool saltless = false;         // msgPrivacyParameters empty (the salt used all the same)
    int32_t cipherCut = 0;         // octets cut off the end of the ciphertext
};

// The whole message of the PDU in that shape: encrypted with a new salt when
// the flags ask for privacy, signed when they ask for authentication. False
// when it cannot be made (too large, a protocol the flags need is missing).
bool encodeUsmShaped(const UsmShape& shape, const SnmpPdu& pdu, std::vector<uint8_t>* out);

// The shape of a forgery of the reply in `genuine`'s shape (as the kinds
// above say; a Replay is no encoding and keeps the shape). *command: the
// forgery's PDU command, PduReport for the Reports, else 0 (the reply's
// own). What a Report of a counter carries is the caller's to give
// (usmForgeryReportBindings).
UsmShape forgedShape(const UsmShape& genuine, UsmForgery forgery, int32_t* command);

class UsmAgent {
public:
    explicit UsmAgent(UsmConfig config = UsmConfig());
    UsmAgent(const UsmAgent&) = delete;
    UsmAgent& operator=(const UsmAgent&) = delete;

    // A hook for TestAgent that serves version 3 and leaves the other
    // versions to the agent's checks (Default). The UsmAgent must outlive
    // every use of the hook.
    RequestHook hook();
    HookOutcome judge(ReceivedRequest& request);

    // Whole seconds of the runtime clock since the mode started + timeOffset
    // (0 to 2^31 - 1), as messages carry it.
    int32_t agentTime() const;
    int32_t boots() const;
    std::vector<uint8_t> engineId() const;
    // The user's record; false for an unknown user.
    bool user(const std::string& name, UsmUser* out) const;

    // Effective from the next request.
    void setMisbehaviour(const UsmMisbehaviour& misbehaviour);
    void setBoots(int32_t boots);
    void setTimeOffset(int64_t offset);
    // How often each refusal happened (the counters the Reports carry).
    uint32_t refusals(UsmRefusal refusal) const;

private:
    int32_t agentTimeLocked() const;
    UsmShape shapeFor(const UsmUser* user, int32_t msgId, uint8_t flags, const std::string& context) const;
    HookOutcome refuse(ReceivedRequest& request, const std::string& userName, int32_t msgId, int32_t requestId,
                       uint8_t flags, UsmRefusal refusal, const UsmUser* user);

    mutable std::mutex mutex_;
    UsmConfig config_;
    int64_t started_;  // the runtime clock (platform/runtime.h), which a test may replace
    uint32_t counters_[7] = {};
};

}  // namespace testagent
