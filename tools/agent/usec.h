// The test agent's user-based security mode (message version 2, the
// user-based model of RFC 1910): a RequestHook that answers discovery with
// the agent's identifier, boots and time, checks users, digests, contexts
// and the time window of requests, prepares authenticated answers, and on
// request misbehaves (wrong digest, stale time, other boots, the privacy bit,
// forged copies before or instead of the answer, no answer to discovery).
//
// Keys are localised and digests computed with the engine's own routines
// (snmp/usec.h); the localisation is checked against the published example
// in the engine's unit tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/agent/test_agent.h"

namespace testagent {

using EngineId = std::array<uint8_t, 12>;
using UsecKey = std::array<uint8_t, 16>;

// The identifier an agent has unless told otherwise: the octets of "vantor-agent".
extern const EngineId DefaultEngineId;

// The largest user name and context the mode carries (RFC 1910).
constexpr size_t UsecMaxUserName = 16;
constexpr size_t UsecMaxContext = 40;
// Requests whose clock lies further from the agent's are refused.
constexpr int64_t UsecTimeWindowSeconds = 150;
// The largest message the agent announces.
constexpr int32_t UsecAgentMaxSize = 4500;

struct UsecUser {
    std::string name;
    bool authenticates = false;  // has a key: its requests must be authenticated
    UsecKey key{};                // localised to the agent's identifier
};

// "NAME", "NAME:PASSPHRASE" or "NAME:0x" and 32 hexadecimal digits (the
// localised key itself). A pass phrase is localised to engineId. The name is
// 1 to 16 octets without ':'; the pass phrase is everything after the first
// ':' and not empty.
bool parseUsecUser(const std::string& text, const EngineId& engineId, UsecUser* user, std::string* error);
// 24 hexadecimal digits, "0x" allowed before them.
bool parseEngineId(const std::string& text, EngineId* id);
std::string engineIdHex(const EngineId& id);

// Copies of an answer sent before it, each one a forgery that a manager
// must not believe (see the README): each carries ForgedValue in its bindings.
enum class Forgery {
    WrongDigest,            // "digest": authenticated with another key, boots + 1 and time + 100
    StaleTime,              // "stale": right digest, time 1000 s behind
    LowerBoots,             // "boots": right digest, boots - 1
    Unauthenticated,        // "plain": no digest at all
    UnauthenticatedReport,  // "report": a Report without a digest
    OutdatedReport,         // "outdated": as an agent with another identifier would report the request
};
bool parseForgery(const std::string& word, Forgery* forgery);
const char* forgeryName(Forgery forgery);

// User-based misbehaviour. dropDiscovery is counted by the mode itself; the
// rest applies to the requests the agent's Misbehaviour affects (all of them
// unless misbehaveCount limits it), like the agent's own misbehaviour.
struct UsecMisbehaviour {
    int32_t dropDiscovery = 0;  // the first N discovery requests get no answer; negative: none ever does
    bool wrongDigest = false;   // answers authenticated with another key
    int32_t staleSeconds = 0;   // above 0: answers carry a time this far behind the agent's
    bool lowerBoots = false;    // answers carry boots - 1
    bool higherBoots = false;   // answers carry boots + 1
    bool privacyBit = false;    // answers claim privacy (qoS bit 0x02)
    std::vector<Forgery> forgeFirst;  // forged copies sent before the answer, in order
    bool forgeOnly = false;     // the answer itself is not sent (forged copies alone)
};

struct UsecConfig {
    EngineId engineId = DefaultEngineId;
    uint32_t boots = 1;
    int64_t timeOffset = 0;  // agent time = seconds since the mode started + timeOffset
    std::vector<UsecUser> users;
    std::vector<std::string> contexts;  // accepted besides the empty context
    bool anyContext = false;
    UsecMisbehaviour misbehaviour;
};

// The usecStats counters of RFC 1910, 1.3.6.1.6.3.6.1.2.N.0, which reports carry.
enum class UsecRefusal {
    UnsupportedQoS = 1,
    NotInWindow = 2,
    UnknownUserName = 3,
    WrongDigest = 4,
    UnknownContext = 5,
    BadParameters = 6,
};
OidVector usecStatsName(UsecRefusal refusal);
// The log's action word for a refusal: unsupported-qos, not-in-time-window,
// unknown-user, wrong-digest, unknown-context, bad-parameters.
const char* refusalAction(UsecRefusal refusal);

// The parameters block of a received version-2 message, read leniently
// enough to judge it (the privacy bit is allowed: this agent reads every PDU
// in clear).
struct UsecRequestParameters {
    uint8_t model = 0;
    uint8_t qoS = 0;
    EngineId agentId{};
    uint32_t boots = 0;
    uint32_t time = 0;
    uint32_t maxSize = 0;
    std::string userName;
    uint8_t authLength = 0;
    UsecKey digest{};
    size_t digestOffset = 0;  // within the parameters block
    std::string context;
};
// False when the block breaks the format or the mode's limits (model 1, qoS
// bits 0x07 only, maximum size 484 or more, user name 1 to 16 octets, digest
// length 16 exactly when the qoS asks for authentication and 0 otherwise,
// context 40 octets at most). Fields read before the failing check are kept.
bool parseUsecParameters(const uint8_t* block, size_t length, UsecRequestParameters* out);

class UsecAgent {
public:
    explicit UsecAgent(UsecConfig config = UsecConfig());
    UsecAgent(const UsecAgent&) = delete;
    UsecAgent& operator=(const UsecAgent&) = delete;

    // A hook for TestAgent that serves version 2 with this mode and leaves
    // the other versions to the agent's community checks. The UsecAgent must
    // outlive every use of the hook.
    RequestHook hook();
    HookOutcome judge(ReceivedRequest& request);

    // Whole seconds of the runtime clock since the mode started + timeOffset,
    // as answers carry it.
    uint32_t agentTime() const;
    uint32_t boots() const;
    EngineId engineId() const;
    // The user's localised key; false for an unknown user.
    bool userKey(const std::string& name, UsecKey* key) const;

    // Effective from the next request; the discovery count starts again.
    void setMisbehaviour(const UsecMisbehaviour& misbehaviour);
    void setBoots(uint32_t boots);
    void setTimeOffset(int64_t offset);
    // How often each refusal happened (the counters the reports carry).
    uint32_t refusals(UsecRefusal refusal) const;
    // Discovery requests seen and answered.
    uint32_t discoveries() const;
    uint32_t discoveriesAnswered() const;

private:
    uint32_t agentTimeLocked() const;
    HookOutcome refuse(ReceivedRequest& request, const UsecRequestParameters& parameters, UsecRefusal refusal,
                       const UsecUser* user);

    mutable std::mutex mutex_;
    UsecConfig config_;
    // The engine's clock (platform/runtime.h), the one the manager's
    // estimate of the agent's time runs on; a test may replace it.
    int64_t started_;
    uint32_t counters_[7] = {};
    uint32_t discoveries_ = 0;
    uint32_t discoveriesAnswered_ = 0;
    uint32_t discoveriesSinceSet_ = 0;
};

}  // namespace testagent
