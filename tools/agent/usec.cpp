#include "tools/agent/usec.h"

#include <cstdio>
#include <cstring>

#include "platform/hex_digits.h"
#include "platform/runtime.h"
#include "snmp/security/usec/digest.h"
#include "snmp/security/usec/keys.h"

namespace testagent {

const EngineId DefaultEngineId = {'v', 'a', 'n', 't', 'o', 'r', '-', 'a', 'g', 'e', 'n', 't'};

namespace {

constexpr uint8_t QoSAuth = 0x01;
constexpr uint8_t QoSPriv = 0x02;
constexpr uint8_t QoSReportable = 0x04;
constexpr uint32_t MinimumMaxSize = 484;
// How far behind the agent's clock a stale forgery lies.
constexpr int32_t StaleForgerySeconds = 1000;

uint32_t bigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Exactly 2 * count hexadecimal digits into out.
bool readHex(const std::string& digits, uint8_t* out, size_t count)
{
    if (digits.size() != 2 * count)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const int high = hexDigitValue(digits[2 * i]);
        const int low = hexDigitValue(digits[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

std::string quoted(const std::string& octets) { return formatValue(ASN_OCTET_STR, bytesValue(octets), true); }

// The encoding record of an answer to this user, before any misbehaviour.
SnmpSession answerRecord(const UsecRequestParameters& p, const EngineId& engineId, uint32_t boots, uint32_t agentTime,
                         bool authenticate, const UsecKey& key)
{
    SnmpSession record{};
    record.version = SnmpVersionUsec;
    record.securityFlags = authenticate ? SecurityAuth : 0;
    std::memcpy(record.agentId, engineId.data(), engineId.size());
    record.agentBoots = boots;
    // The encoder writes its clock plus this offset: the agent's time.
    record.timeOffset =
        static_cast<int32_t>(agentTime - static_cast<uint32_t>(static_cast<int64_t>(runtimeTime(nullptr))));
    record.userNameLength = static_cast<int32_t>(p.userName.size());
    std::memcpy(record.userName, p.userName.data(), p.userName.size());
    record.contextLength = static_cast<int32_t>(p.context.size());
    std::memcpy(record.context, p.context.data(), p.context.size());
    record.maxMessageSize = UsecAgentMaxSize;
    std::memcpy(record.authKey, key.data(), key.size());
    return record;
}

}  // namespace

bool parseEngineId(const std::string& text, EngineId* id)
{
    std::string digits = text;
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    EngineId out{};
    if (!readHex(digits, out.data(), out.size()))
        return false;
    *id = out;
    return true;
}

std::string engineIdHex(const EngineId& id)
{
    std::string out;
    char buffer[3];
    for (uint8_t b : id) {
        std::snprintf(buffer, sizeof buffer, "%02x", b);
        out += buffer;
    }
    return out;
}

bool parseUsecUser(const std::string& text, const EngineId& engineId, UsecUser* user, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = "user " + text + ": " + why;
        return false;
    };
    const size_t colon = text.find(':');
    UsecUser out;
    out.name = text.substr(0, colon);
    if (out.name.empty() || out.name.size() > UsecMaxUserName)
        return fail("a name of 1 to 16 octets");
    if (colon != std::string::npos) {
        const std::string key = text.substr(colon + 1);
        if (key.empty())
            return fail("an empty key");
        // As the manager reads its security string: "0x" alone is a pass phrase.
        if (key.size() > 2 && key[0] == '0' && key[1] == 'x') {
            if (!readHex(key.substr(2), out.key.data(), out.key.size()))
                return fail("a key of \"0x\" and 32 hexadecimal digits");
        } else {
            passwordToKey(reinterpret_cast<const uint8_t*>(key.data()), static_cast<int32_t>(key.size()),
                          engineId.data(), out.key.data());
        }
        out.authenticates = true;
    }
    *user = out;
    return true;
}

bool parseForgery(const std::string& word, Forgery* forgery)
{
    static const struct {
        const char* word;
        Forgery forgery;
    } names[] = {{"digest", Forgery::WrongDigest},
                 {"stale", Forgery::StaleTime},
                 {"boots", Forgery::LowerBoots},
                 {"plain", Forgery::Unauthenticated},
                 {"report", Forgery::UnauthenticatedReport},
                 {"outdated", Forgery::OutdatedReport}};
    for (const auto& n : names) {
        if (word == n.word) {
            *forgery = n.forgery;
            return true;
        }
    }
    return false;
}

const char* forgeryName(Forgery forgery)
{
    switch (forgery) {
    case Forgery::WrongDigest:
        return "digest";
    case Forgery::StaleTime:
        return "stale";
    case Forgery::LowerBoots:
        return "boots";
    case Forgery::Unauthenticated:
        return "plain";
    case Forgery::UnauthenticatedReport:
        return "report";
    case Forgery::OutdatedReport:
        return "outdated";
    }
    return "digest";
}

OidVector usecStatsName(UsecRefusal refusal)
{
    return {1, 3, 6, 1, 6, 3, 6, 1, 2, static_cast<uint32_t>(refusal), 0};
}

const char* refusalAction(UsecRefusal refusal)
{
    switch (refusal) {
    case UsecRefusal::UnsupportedQoS:
        return "unsupported-qos";
    case UsecRefusal::NotInWindow:
        return "not-in-time-window";
    case UsecRefusal::UnknownUserName:
        return "unknown-user";
    case UsecRefusal::WrongDigest:
        return "wrong-digest";
    case UsecRefusal::UnknownContext:
        return "unknown-context";
    case UsecRefusal::BadParameters:
        return "bad-parameters";
    }
    return "bad-parameters";
}

bool parseUsecParameters(const uint8_t* block, size_t length, UsecRequestParameters* out)
{
    // model, qoS, identifier, boots, time, maximum size, user-name length
    if (block == nullptr || length < 25)
        return false;
    out->model = block[0];
    if (out->model != 1)
        return false;
    out->qoS = block[1];
    if ((out->qoS & ~(QoSAuth | QoSPriv | QoSReportable)) != 0)
        return false;
    std::memcpy(out->agentId.data(), block + 2, out->agentId.size());
    out->boots = bigEndian32(block + 14);
    out->time = bigEndian32(block + 18);
    out->maxSize = (uint32_t{block[22]} << 8) | block[23];
    if (out->maxSize < MinimumMaxSize)
        return false;
    const size_t user = block[24];
    if (user == 0 || user > UsecMaxUserName || 25 + user + 1 > length)
        return false;
    out->userName.assign(reinterpret_cast<const char*>(block + 25), user);
    size_t position = 25 + user;
    out->authLength = block[position++];
    if ((out->qoS & QoSAuth) != 0) {
        if (out->authLength != out->digest.size() || length - position < out->digest.size())
            return false;
        std::memcpy(out->digest.data(), block + position, out->digest.size());
        out->digestOffset = position;
        position += out->digest.size();
    } else if (out->authLength != 0) {
        return false;
    }
    if (length - position > UsecMaxContext)
        return false;
    out->context.assign(reinterpret_cast<const char*>(block + position), length - position);
    return true;
}

UsecAgent::UsecAgent(UsecConfig config)
    : config_(std::move(config)), started_(static_cast<int64_t>(runtimeTime(nullptr)))
{
}

RequestHook UsecAgent::hook()
{
    return [this](ReceivedRequest& request) { return judge(request); };
}

uint32_t UsecAgent::agentTimeLocked() const
{
    const int64_t seconds = static_cast<int64_t>(runtimeTime(nullptr)) - started_;
    return static_cast<uint32_t>(seconds + config_.timeOffset);
}

uint32_t UsecAgent::agentTime() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return agentTimeLocked();
}

uint32_t UsecAgent::boots() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.boots;
}

EngineId UsecAgent::engineId() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.engineId;
}

bool UsecAgent::userKey(const std::string& name, UsecKey* key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const UsecUser& u : config_.users) {
        if (u.name == name) {
            if (key != nullptr)
                *key = u.key;
            return true;
        }
    }
    return false;
}

void UsecAgent::setMisbehaviour(const UsecMisbehaviour& misbehaviour)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.misbehaviour = misbehaviour;
    discoveriesSinceSet_ = 0;
}

void UsecAgent::setBoots(uint32_t boots)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.boots = boots;
}

void UsecAgent::setTimeOffset(int64_t offset)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.timeOffset = offset;
}

uint32_t UsecAgent::refusals(UsecRefusal refusal) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_[static_cast<int>(refusal)];
}

uint32_t UsecAgent::discoveries() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return discoveries_;
}

uint32_t UsecAgent::discoveriesAnswered() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return discoveriesAnswered_;
}

HookOutcome UsecAgent::refuse(ReceivedRequest& request, const UsecRequestParameters& p, UsecRefusal refusal,
                             const UsecUser* user)
{
    uint32_t& counter = counters_[static_cast<int>(refusal)];
    ++counter;
    HookOutcome outcome;
    outcome.logAction = refusalAction(refusal);
    // Only a reportable request hears why it was refused.
    if ((p.qoS & QoSReportable) == 0) {
        outcome.action = HookAction::Drop;
        return outcome;
    }
    // A clock report goes authenticated to a user who authenticates, so that
    // the manager may believe the clock it carries; every other report is
    // sent without a digest, since the agent could not check who asked.
    const bool authenticate = refusal == UsecRefusal::NotInWindow && user != nullptr && user->authenticates;
    request.reply = answerRecord(p, config_.engineId, config_.boots, agentTimeLocked(), authenticate,
                                 user != nullptr ? user->key : UsecKey{});
    request.encodeFlag = 1;  // boots and time even without a digest
    outcome.action = HookAction::Report;
    outcome.reportBindings = {makeVariable(usecStatsName(refusal), ASN_COUNTER, uint32Value(counter))};
    return outcome;
}

HookOutcome UsecAgent::judge(ReceivedRequest& request)
{
    if (request.version != SnmpVersionUsec)
        return HookOutcome();  // the community checks decide
    std::lock_guard<std::mutex> lock(mutex_);

    UsecRequestParameters p;
    const bool parsed =
        parseUsecParameters(reinterpret_cast<const uint8_t*>(request.community.data()), request.community.size(), &p);
    if (request.logged) {
        request.logCommunitySet = true;
        request.logCommunity = p.userName;
        char fields[96];
        std::snprintf(fields, sizeof fields, "qos=0x%02X boots=%u time=%u context=", static_cast<unsigned>(p.qoS),
                      static_cast<unsigned>(p.boots), static_cast<unsigned>(p.time));
        request.logFields = fields + quoted(p.context);
    }

    if (!parsed) {
        // Nothing in it can be trusted, not even whether it wants a report.
        ++counters_[static_cast<int>(UsecRefusal::BadParameters)];
        HookOutcome outcome;
        outcome.action = HookAction::Drop;
        outcome.logAction = refusalAction(UsecRefusal::BadParameters);
        return outcome;
    }

    // Another identifier (all zero from a manager that does not know the
    // agent yet): the report tells it the identifier, boots and time.
    if (p.agentId != config_.engineId) {
        ++discoveries_;
        ++discoveriesSinceSet_;
        const int32_t drop = config_.misbehaviour.dropDiscovery;
        HookOutcome outcome;
        if (drop < 0 || discoveriesSinceSet_ <= static_cast<uint32_t>(drop)) {
            outcome.action = HookAction::Drop;
            outcome.logAction = "discovery-dropped";
            return outcome;
        }
        outcome = refuse(request, p, UsecRefusal::UnknownContext, nullptr);
        if (outcome.action == HookAction::Report)
            ++discoveriesAnswered_;
        outcome.logAction = "discovery";
        return outcome;
    }

    if (!p.context.empty() && !config_.anyContext) {
        bool known = false;
        for (const std::string& c : config_.contexts)
            known = known || c == p.context;
        if (!known)
            return refuse(request, p, UsecRefusal::UnknownContext, nullptr);
    }

    const UsecUser* user = nullptr;
    for (const UsecUser& u : config_.users) {
        if (u.name == p.userName)
            user = &u;
    }
    if (user == nullptr)
        return refuse(request, p, UsecRefusal::UnknownUserName, nullptr);

    // A user with a key authenticates every request; one without cannot.
    // Privacy is accepted and ignored: this agent reads every PDU in clear.
    const bool authenticated = (p.qoS & QoSAuth) != 0;
    if (authenticated != user->authenticates)
        return refuse(request, p, UsecRefusal::UnsupportedQoS, user);

    const uint32_t now = agentTimeLocked();
    if (authenticated) {
        // The digest was computed with the key standing in its place.
        std::vector<uint8_t> copy = request.datagram;
        const size_t field = request.communityOffset + p.digestOffset;
        if (field + user->key.size() > copy.size())
            return refuse(request, p, UsecRefusal::BadParameters, user);
        std::memcpy(copy.data() + field, user->key.data(), user->key.size());
        UsecKey digest{};
        messageDigest(copy.data(), static_cast<int32_t>(copy.size()), user->key.data(), digest.data());
        if (digest != p.digest)
            return refuse(request, p, UsecRefusal::WrongDigest, user);
        const int64_t drift = static_cast<int64_t>(p.time) - static_cast<int64_t>(now);
        if (p.boots != config_.boots || drift > UsecTimeWindowSeconds || drift < -UsecTimeWindowSeconds)
            return refuse(request, p, UsecRefusal::NotInWindow, user);
    }

    request.reply = answerRecord(p, config_.engineId, config_.boots, now, authenticated, user->key);
    request.encodeFlag = 1;

    const UsecMisbehaviour& m = config_.misbehaviour;
    if (m.wrongDigest || m.staleSeconds > 0 || m.lowerBoots || m.higherBoots || m.privacyBit) {
        SnmpSession shaped = request.reply;
        if (m.wrongDigest) {
            for (uint8_t& b : shaped.authKey)
                b ^= 0xA5;
        }
        if (m.staleSeconds > 0)
            shaped.timeOffset -= m.staleSeconds;
        if (m.lowerBoots)
            --shaped.agentBoots;
        if (m.higherBoots)
            ++shaped.agentBoots;
        if (m.privacyBit)
            shaped.securityFlags |= SecurityPriv;
        request.useShapedReply = true;
        request.shapedReply = shaped;
    }
    for (Forgery forgery : m.forgeFirst) {
        ReplyVariant variant;
        variant.session = request.reply;
        variant.encodeFlag = 1;
        SnmpSession& s = variant.session;
        switch (forgery) {
        case Forgery::WrongDigest:
            // Were it believed, it would move the manager's clock forward.
            s.securityFlags |= SecurityAuth;
            for (uint8_t& b : s.authKey)
                b ^= 0x5A;
            ++s.agentBoots;
            s.timeOffset += 100;
            break;
        case Forgery::StaleTime:
            s.timeOffset -= StaleForgerySeconds;
            break;
        case Forgery::LowerBoots:
            --s.agentBoots;
            break;
        case Forgery::Unauthenticated:
            s.securityFlags &= static_cast<uint8_t>(~SecurityAuth);
            break;
        case Forgery::UnauthenticatedReport:
            s.securityFlags &= static_cast<uint8_t>(~SecurityAuth);
            variant.command = PduReport;
            break;
        case Forgery::OutdatedReport:
            s.securityFlags &= static_cast<uint8_t>(~SecurityAuth);
            s.agentId[sizeof s.agentId - 1] ^= 0xFF;
            variant.command = PduReport;
            variant.bindingsInstead = {
                makeVariable(usecStatsName(UsecRefusal::UnknownContext), ASN_COUNTER, uint32Value(1))};
            break;
        }
        request.forgedFirst.push_back(variant);
    }
    request.withholdReply = m.forgeOnly;

    HookOutcome outcome;
    outcome.action = HookAction::Answer;
    return outcome;
}

}  // namespace testagent
