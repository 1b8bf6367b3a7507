// The hostile-agent soak: thousands of script calls of every kind against an
// agent that answers with random mutations of valid responses. Every call must
// return, and with a value or one of the documented failures; the sanitizers
// and LeakSanitizer watch the rest. Some calls speak SNMPv3 ("#" community,
// SHA-256 and AES): their replies, discovery's Report among them, are
// mutated the same way or preceded by forgeries (wrong digest, stale time,
// wrong msgID, an unauthenticated Report, a replay).
//
//   hostile_soak [CALLS] [SEED]
//
// Prints a summary of what the agent sent and what the calls returned; exits
// non-zero on the first call whose outcome is not one of the documented ones.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/vantor_host.h"
#include "hostapi/host_messages.h"
#include "hostapi/host_value.h"
#include "module/entry_points.h"
#include "platform/runtime.h"
#include "platform/winsock.h"
#include "script/dispatcher.h"
#include "snmp/codec/message.h"
#include "snmp/codec/v3_message.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usec/usec_check.h"
#include "snmp/security/usm/usm_parameters.h"
#include "snmp/security/usm/usm_privacy.h"
#include "tests/support/host_values.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/wire.h"
#include "tools/agent/usm.h"

namespace {

const char AgentId[] = "HOSTILE-1234";  // 12 octets
const char UserKeyHex[] = "00112233445566778899aabbccddeeff";
const char WellKnownAddress[] = "127.0.0.77";
// The SNMPv3 user, as the agent and the module write it.
const char UsmUserText[] = "soak3:SHA-256:soakpass1234:AES:soakpriv1234";
const char UsmCommunity[] = "#soak3/SHA-256:soakpass1234/AES:soakpriv1234";
const std::vector<uint8_t> UsmEngineId = {0x80, 0x00, 0x1F, 0x88, 0x04, 'h', 'o', 's', 't', 'i', 'l', 'e'};
// Far enough from 0 that a stale forgery's time stays a time.
constexpr int32_t UsmTimeBase = 5000;

// ---- the host side: reports are recorded for the outcome check --------------

struct Report {
    UINT message;
    std::string text;
};

std::vector<Report>& reports()
{
    static std::vector<Report> list;
    return list;
}

LRESULT hostProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 100)
        return 0;  // no binary-variable services in this host
    CString text = GetHandleStr(reinterpret_cast<HGLOBAL>(wParam));
    GlobalFree(reinterpret_cast<HGLOBAL>(wParam));
    if (message == WM_USER + 104 && lParam != 0)
        GlobalFree(reinterpret_cast<HGLOBAL>(lParam));
    reports().push_back({message, std::string(text.GetString(), static_cast<size_t>(text.GetLength()))});
    return 0;
}

// ---- the hostile agent ------------------------------------------------------

enum Plan {
    PlanValid,           // the valid reply alone
    PlanGarbageFirst,    // a mutated copy, then the valid reply
    PlanGarbageOnly,     // only mutated copies: the call times out or gives up
    PlanOtherIdFirst,    // a reply for another request id, then the valid one
    PlanDuplicate,       // the valid reply twice
    PlanLate,            // nothing now; the reply goes out with the next answer
    PlanOversizedFirst,  // a datagram larger than any message, then the valid one
    PlanEmptyFirst,      // an empty datagram, then the valid one
    PlanForeignFirst,    // the valid reply from another port first, then from the right one
    PlanReflectedFirst,  // the request itself back first (it carries the awaited id), then the reply
    PlanForgedFirst,     // SNMPv3 only: a forgery of a random kind, then the valid reply
    PlanCount
};

const char* const PlanNames[PlanCount] = {"valid",       "garbage-first", "garbage-only",
                                          "other-id-first", "duplicate",  "late",
                                          "oversized-first", "empty-first", "foreign-first",
                                          "reflected-first", "forged-first"};

enum Mutation {
    MutFlip,           // random octets flipped
    MutTruncate,       // cut at a random point
    MutHugeLength,     // a length field made 0x84 FF FF FF FF
    MutIndefinite,     // a length field made 0x80
    MutWrappingLength, // a length that wraps 32 bits when added to its header
    MutLongInteger,    // an integer of nine content octets
    MutLongSubId,      // an OID sub-identifier of many octets
    MutNesting,        // thousands of nested SEQUENCE headers
    MutWrongTag,       // a tag replaced
    MutRandom,         // random octets
    MutationCount
};

const char* const MutationNames[MutationCount] = {"flip", "truncate", "huge-length", "indefinite", "wrapping-length",
                                                  "long-integer", "long-subid", "nesting", "wrong-tag", "random"};

class HostileAgent {
public:
    explicit HostileAgent(uint32_t seed) : random_(seed)
    {
        sock_ = boundLoopbackSocket(&port_);
        socks_.push_back(sock_);
        uint16_t foreignPort = 0;
        foreign_ = boundLoopbackSocket(&foreignPort);  // loopback, another port
        // The plain request forms always ask port 161; that needs root, which CI has.
        const int wellKnown = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = winInetAddr(WellKnownAddress);
        at.sin_port = htons(161);
        if (bind(wellKnown, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0)
            socks_.push_back(wellKnown);
        else
            closesocket(wellKnown);
        hexToKey(UserKeyHex, key_);
        testagent::parseUsmUser(UsmUserText, UsmEngineId, &usmUser_, nullptr);
        started_ = static_cast<int64_t>(runtimeTime(nullptr));
        thread_ = std::thread([this]() { run(); });
    }

    ~HostileAgent()
    {
        stop_ = true;
        thread_.join();
        for (int sock : socks_)
            closesocket(sock);
        closesocket(foreign_);
    }

    uint16_t port() const { return port_; }
    const char* wellKnownAddress() const { return socks_.size() > 1 ? WellKnownAddress : nullptr; }

    void printSummary() const
    {
        std::printf("agent: %" PRIu64 " requests received\n", received_.load());
        for (int i = 0; i < PlanCount; ++i)
            std::printf("  plan %-16s %" PRIu64 "\n", PlanNames[i], plans_[i].load());
        for (int i = 0; i < MutationCount; ++i)
            std::printf("  mutation %-16s %" PRIu64 "\n", MutationNames[i], mutations_[i].load());
        for (int i = 0; i < ForgeryCount; ++i)
            std::printf("  forgery %-17s %" PRIu64 "\n",
                        testagent::usmForgeryName(static_cast<testagent::UsmForgery>(i)), forgeries_[i].load());
    }

private:
    static void hexToKey(const char* hex, uint8_t* key)
    {
        for (int i = 0; i < 16; ++i) {
            unsigned value = 0;
            std::sscanf(hex + 2 * i, "%2x", &value);
            key[i] = static_cast<uint8_t>(value);
        }
    }

    uint32_t pick(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random_); }

    void run()
    {
        std::vector<uint8_t> data(SnmpPacketSize);
        while (!stop_) {
            pollfd p[2] = {};
            for (size_t i = 0; i < socks_.size(); ++i)
                p[i] = pollfd{socks_[i], POLLIN, 0};
            if (poll(p, static_cast<nfds_t>(socks_.size()), 50) <= 0)
                continue;
            for (size_t i = 0; i < socks_.size(); ++i) {
                if ((p[i].revents & POLLIN) == 0)
                    continue;
                sockaddr_in from{};
                socklen_t fromLength = sizeof from;
                const ssize_t n =
                    recvfrom(socks_[i], data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (n <= 0)
                    continue;
                ++received_;
                replyVia_ = socks_[i];
                answer(std::vector<uint8_t>(data.begin(), data.begin() + n), from);
            }
        }
    }

    void send(const std::vector<uint8_t>& octets, const sockaddr_in& to)
    {
        sendto(replyVia_, octets.data(), octets.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    // A random value of a random type for a binding, in the engine's storage.
    void randomValue(VarBind* var)
    {
        static const uint8_t types[] = {2, 4, 4, 5, 6, 64, 65, 66, 67, 68, 70, 71, 128, 129, 130};
        var->type = types[pick(sizeof types)];
        free(var->value);
        var->value = nullptr;
        var->valueLength = 0;
        switch (var->type) {
        case 2: case 65: case 66: case 67: case 71:
            var->valueLength = 4;
            break;
        case 70:
            var->valueLength = 8;
            break;
        case 4: case 68:
            var->valueLength = static_cast<int32_t>(pick(40));
            break;
        case 64:
            var->valueLength = pick(4) == 0 ? static_cast<int32_t>(pick(8)) : 4;  // odd sizes too
            break;
        case 6:
            var->valueLength = 4 * static_cast<int32_t>(2 + pick(20));
            break;
        default:
            return;
        }
        var->value = static_cast<uint8_t*>(calloc(1, static_cast<size_t>(var->valueLength) + 1));
        for (int32_t i = 0; i < var->valueLength; ++i)
            var->value[i] = static_cast<uint8_t>(pick(256));
        if (var->type == 6) {
            uint32_t first[2] = {pick(3), pick(40)};  // a first arc the encoder accepts
            memcpy(var->value, first, 8);
        }
    }

    // The reply's PDU: the request's bindings with random values (none for a
    // Report), sometimes an error status.
    SnmpPdu* replyPdu(const SnmpPdu* request, int32_t command, int32_t requestId)
    {
        SnmpPdu* reply = createPdu(command);
        reply->requestId = requestId;
        reply->errorStatus = pick(8) == 0 ? static_cast<int32_t>(pick(19)) : 0;
        reply->errorIndex = reply->errorStatus != 0 ? 1 : 0;
        for (VarBind* var = request->variables; var != nullptr; var = var->next) {
            VarBind* copy = addNullVar(reply, var->name, var->nameLength);
            if (copy != nullptr && command == PduResponse)
                randomValue(copy);
        }
        return reply;
    }

    // An SNMPv3 request's reply: the discovery Report, or a Response at the
    // request's level; with it, the shape of the reply and its PDU, for the
    // copies with another id and the forgeries. False when the request does
    // not read.
    bool usmReply(const std::vector<uint8_t>& request, testagent::UsmShape* shape, testagent::PduPtr* pdu)
    {
        V3Message message;
        UsmParameters p;
        if (decodeV3Message(request.data(), static_cast<int32_t>(request.size()), &message) != 0 ||
            decodeUsmParameters(message.parameters, message.parametersLength, &p) != 0)
            return false;
        const uint8_t* scoped = message.data;
        uint8_t plain[SnmpPacketSize];
        if (message.encrypted) {
            if (p.saltLength != 8 || message.dataLength > SnmpPacketSize ||
                !usmDecrypt(usmUser_.priv, usmUser_.privKey.data(), p.boots, p.time, p.salt, message.data,
                            static_cast<size_t>(message.dataLength), plain))
                return false;
            scoped = plain;
        }
        testagent::PduPtr asked(static_cast<SnmpPdu*>(calloc(1, sizeof(SnmpPdu))));
        uint8_t engine[32];
        int32_t engineLength = sizeof engine;
        uint8_t context[64];
        int32_t contextLength = sizeof context;
        if (decodeScopedPdu(scoped, message.dataLength, engine, &engineLength, context, &contextLength,
                            asked.get()) != 0)
            return false;
        const bool discovery = p.engineIdLength == 0;
        shape->msgId = message.header.msgId;
        shape->flags = discovery ? 0 : message.header.flags & (SecurityAuth | SecurityPriv);
        shape->engineId = shape->contextEngineId = UsmEngineId;
        shape->boots = 1;
        shape->time = UsmTimeBase + static_cast<int32_t>(static_cast<int64_t>(runtimeTime(nullptr)) - started_);
        shape->user.assign(reinterpret_cast<const char*>(p.user), static_cast<size_t>(p.userLength));
        shape->context.assign(reinterpret_cast<const char*>(context), static_cast<size_t>(contextLength));
        shape->auth = usmUser_.auth;
        shape->priv = usmUser_.priv;
        shape->authKey = usmUser_.authKey;
        shape->privKey = usmUser_.privKey;
        if (discovery) {
            pdu->reset(createPdu(PduReport));
            (*pdu)->requestId = asked->requestId;
            const uint32_t unknownEngineIds[] = {1, 3, 6, 1, 6, 3, 15, 1, 1, 4, 0};
            const uint32_t count = 1;
            addVar(pdu->get(), unknownEngineIds, 11, ASN_COUNTER, &count, 4);
        } else {
            pdu->reset(replyPdu(asked.get(), PduResponse, asked->requestId));
        }
        return true;
    }

    std::vector<uint8_t> shaped(const testagent::UsmShape& shape, SnmpPdu* pdu, int32_t msgIdShift = 0)
    {
        testagent::UsmShape copy = shape;
        const uint32_t shifted = static_cast<uint32_t>(shape.msgId) + static_cast<uint32_t>(msgIdShift);
        copy.msgId = static_cast<int32_t>(shifted & 0x7FFFFFFFu);
        const int32_t requestId = pdu->requestId;
        pdu->requestId = static_cast<int32_t>(static_cast<uint32_t>(requestId) + static_cast<uint32_t>(msgIdShift));
        std::vector<uint8_t> out;
        testagent::encodeUsmShaped(copy, *pdu, &out);
        pdu->requestId = requestId;
        return out;
    }

    // One forgery of a random kind of the reply in that shape.
    std::vector<uint8_t> forged(const testagent::UsmShape& shape, SnmpPdu* pdu)
    {
        const auto kind = static_cast<testagent::UsmForgery>(pick(ForgeryCount));
        ++forgeries_[static_cast<int>(kind)];
        if (kind == testagent::UsmForgery::Replay)
            return lastUsmReply_;
        int32_t command = 0;
        const testagent::UsmShape forgery = testagent::forgedShape(shape, kind, &command);
        const int32_t own = pdu->command;
        pdu->command = command != 0 ? command : own;
        std::vector<uint8_t> out;
        testagent::encodeUsmShaped(forgery, *pdu, &out);
        pdu->command = own;
        return out;
    }

    // The valid reply to a request: its bindings echoed with random values.
    std::vector<uint8_t> validReply(SnmpPdu* request, int32_t version, const std::string& community, int32_t requestId)
    {
        SnmpSession role{};
        role.version = version;
        role.community = reinterpret_cast<const uint8_t*>(community.data());
        role.communityLength = static_cast<int32_t>(community.size());
        int32_t command = PduResponse;
        int32_t flag = 0;
        if (version == SnmpVersionUsec) {
            memcpy(role.agentId, AgentId, 12);
            role.agentBoots = 1;
            role.timeOffset = 100 - static_cast<int32_t>(runtimeTime(nullptr));
            role.maxMessageSize = 1450;
            const UsecParameters& asked = request->security;
            role.userNameLength = asked.userNameLength;
            memcpy(role.userName, asked.userName, sizeof asked.userName);
            role.contextLength = asked.contextLength;
            memcpy(role.context, asked.context, sizeof asked.context);
            if (request->variables == nullptr) {
                command = PduReport;  // discovery
                flag = 1;
            } else if (pick(4) != 0) {
                role.securityFlags = SecurityAuth;
                memcpy(role.authKey, key_, 16);
            }
        }
        return encodeAndFree(role, replyPdu(request, command, requestId), flag);
    }

    std::vector<uint8_t> mutate(std::vector<uint8_t> octets)
    {
        const Mutation mutation = static_cast<Mutation>(pick(MutationCount));
        ++mutations_[mutation];
        const size_t size = octets.size();
        switch (mutation) {
        case MutFlip:
            for (uint32_t i = 0, n = 1 + pick(4); i < n && size > 0; ++i)
                octets[pick(static_cast<uint32_t>(size))] ^= static_cast<uint8_t>(1 + pick(255));
            break;
        case MutTruncate:
            octets.resize(size > 0 ? pick(static_cast<uint32_t>(size)) : 0);
            break;
        case MutHugeLength:
        case MutIndefinite:
        case MutWrappingLength: {
            if (size < 4)
                break;
            // Replace the length field of an element that starts at a random header.
            const size_t at = 1 + pick(static_cast<uint32_t>(size - 2));
            std::vector<uint8_t> field;
            if (mutation == MutHugeLength)
                field = {0x84, 0xFF, 0xFF, 0xFF, 0xFF};
            else if (mutation == MutIndefinite)
                field = {0x80};
            else
                field = {0x84, 0xFF, 0xFF, 0xFF, static_cast<uint8_t>(0xF0 + pick(16))};
            octets.erase(octets.begin() + static_cast<long>(at), octets.begin() + static_cast<long>(at + 1));
            octets.insert(octets.begin() + static_cast<long>(at), field.begin(), field.end());
            break;
        }
        case MutLongInteger: {
            const size_t at = size > 0 ? pick(static_cast<uint32_t>(size)) : 0;
            const uint8_t integer[] = {0x02, 0x09, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            octets.insert(octets.begin() + static_cast<long>(at), integer, integer + sizeof integer);
            break;
        }
        case MutLongSubId: {
            const size_t at = size > 0 ? pick(static_cast<uint32_t>(size)) : 0;
            std::vector<uint8_t> oid = {0x06, 0x0C, 0x2B};
            for (int i = 0; i < 10; ++i)
                oid.push_back(0xFF);
            oid.push_back(0x7F);
            octets.insert(octets.begin() + static_cast<long>(at), oid.begin(), oid.end());
            break;
        }
        case MutNesting: {
            std::vector<uint8_t> nested;
            for (int i = 0; i < 1400; ++i) {
                nested.push_back(0x30);
                nested.push_back(0x80);
            }
            octets.insert(octets.begin() + (size > 8 ? 8 : 0), nested.begin(), nested.end());
            if (octets.size() > 4400)
                octets.resize(4400);
            break;
        }
        case MutWrongTag:
            if (size > 0) {
                static const uint8_t tags[] = {0x1F, 0x3F, 0xFF, 0x00, 0x03, 0x01, 0x30, 0xA4, 0xA8, 0x46};
                octets[pick(static_cast<uint32_t>(size))] = tags[pick(sizeof tags)];
            }
            break;
        case MutRandom:
        default:
            octets.resize(pick(300));
            for (uint8_t& octet : octets)
                octet = static_cast<uint8_t>(pick(256));
            break;
        }
        return octets;
    }

    void answer(std::vector<uint8_t> request, const sockaddr_in& from)
    {
        if (messageVersion(request.data(), static_cast<int32_t>(request.size())) == SnmpVersion3) {
            testagent::UsmShape shape;
            testagent::PduPtr reply;
            if (!usmReply(request, &shape, &reply))
                return;
            const std::vector<uint8_t> valid = shaped(shape, reply.get());
            const std::vector<uint8_t> otherId = shaped(shape, reply.get(), 1 + static_cast<int32_t>(pick(5)));
            // Half of them forged first: forgeries are what this path is for.
            deliver(request, valid, otherId, [&]() { return forged(shape, reply.get()); }, from,
                    pick(2) == 0 ? PlanForgedFirst : static_cast<Plan>(pick(PlanCount)));
            if (shape.flags != 0)
                lastUsmReply_ = valid;
            return;
        }
        SnmpPdu* pdu = static_cast<SnmpPdu*>(calloc(1, sizeof(SnmpPdu)));
        int32_t version = -1;
        uint8_t community[SnmpCommunityCapacity];
        int32_t communityLength = SnmpCommunityCapacity;
        int32_t remaining = static_cast<int32_t>(request.size());
        decodeMessageHeader(request.data(), &remaining, community, &communityLength, &version);
        if (decodeMessage(nullptr, pdu, request.data(), static_cast<int32_t>(request.size())) < 0 ||
            pdu->command == PduTrap) {
            freePdu(pdu);
            return;  // traps want no answer
        }
        if (version == SnmpVersionUsec) {
            // The parameters of a user-based request, for the reply's user and context.
            UsecParameters decoded{};
            const uint8_t* parameters = request.data() + 9;
            if (request.size() > 9)
                decodeUsecParameters(parameters, request[8], &decoded);
            pdu->security = decoded;
        }
        const std::string communityText(reinterpret_cast<char*>(community), static_cast<size_t>(communityLength));
        const std::vector<uint8_t> valid = validReply(pdu, version, communityText, pdu->requestId);
        // Counted without a sign: the id may be the largest there is.
        const int32_t nearId = static_cast<int32_t>(static_cast<uint32_t>(pdu->requestId) + 1u + pick(5));
        const std::vector<uint8_t> otherId = validReply(pdu, version, communityText, nearId);
        freePdu(pdu);
        deliver(request, valid, otherId, nullptr, from, static_cast<Plan>(pick(PlanForgedFirst)));
    }

    // Sends the reply by the plan.
    void deliver(const std::vector<uint8_t>& request, const std::vector<uint8_t>& valid,
                 const std::vector<uint8_t>& otherId,
                 const std::function<std::vector<uint8_t>()>& forgery, const sockaddr_in& from, Plan plan)
    {
        if (!late_.empty()) {
            send(late_, from);  // the answer to an earlier request, now late
            late_.clear();
        }
        ++plans_[plan];
        switch (plan) {
        case PlanValid:
            send(valid, from);
            break;
        case PlanGarbageFirst:
            send(mutate(valid), from);
            send(valid, from);
            break;
        case PlanGarbageOnly:
            for (uint32_t i = 0, n = 1 + pick(3); i < n; ++i)
                send(mutate(valid), from);
            break;
        case PlanOtherIdFirst:
            send(otherId, from);
            send(valid, from);
            break;
        case PlanDuplicate:
            send(valid, from);
            send(valid, from);
            break;
        case PlanLate:
            late_ = valid;
            break;
        case PlanOversizedFirst: {
            std::vector<uint8_t> big = valid;
            big.resize(9000, 0x30);
            send(big, from);
            send(valid, from);
            break;
        }
        case PlanEmptyFirst:
            send(std::vector<uint8_t>(), from);
            send(valid, from);
            break;
        case PlanForeignFirst:
            sendto(foreign_, valid.data(), valid.size(), 0, reinterpret_cast<const sockaddr*>(&from), sizeof from);
            send(valid, from);
            break;
        case PlanReflectedFirst:
            send(request, from);
            send(valid, from);
            break;
        case PlanForgedFirst: {
            const std::vector<uint8_t> copy = forgery();
            if (!copy.empty())
                send(copy, from);
            send(valid, from);
            break;
        }
        default:
            break;
        }
    }

    int sock_ = -1;
    std::vector<int> socks_;
    int replyVia_ = -1;
    int foreign_ = -1;  // answers in the agent's place, from another port
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mt19937 random_;
    uint8_t key_[16];
    testagent::UsmUser usmUser_;
    int64_t started_ = 0;
    std::vector<uint8_t> lastUsmReply_;  // the last authenticated SNMPv3 reply, for replays
    std::vector<uint8_t> late_;
    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> plans_[PlanCount] = {};
    std::atomic<uint64_t> mutations_[MutationCount] = {};
    static constexpr int ForgeryCount = 5;
    std::atomic<uint64_t> forgeries_[ForgeryCount] = {};
};

// ---- the calls --------------------------------------------------------------

HostValue number(double value) { return numberArg(value); }
HostValue text(const std::string& value) { return stringArg(value); }

struct Outcomes {
    std::map<std::string, uint64_t> counts;
    void add(const std::string& what) { ++counts[what]; }
};

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Checks one call's result against the documented outcomes; names the outcome.
bool classify(const std::string& kind, const HostValue& result, const std::vector<Report>& sent, std::string* outcome)
{
    const bool isNumber = result.type == HostTypeNumber;
    const bool isString = result.type == HostTypeString;
    const bool isEmpty = result.type == HostTypeEmpty;
    if (kind == "trap") {
        *outcome = isNumber ? (double(result.number) == 1 ? "trap sent" : "trap not sent") : "trap empty";
        return isNumber && (double(result.number) == 1 || double(result.number) == 0) && sent.empty();
    }
    if (sent.empty()) {
        *outcome = isNumber ? "value (number)" : isString ? "value (string)" : "empty";
        return isNumber || isString;
    }
    if (sent.size() != 1)
        return false;
    const Report& report = sent[0];
    if (report.message == WM_USER + 103 &&
        (startsWith(report.text, "Couldn't get variable (") || report.text == "Couldn't get ip address")) {
        *outcome = report.text == "Couldn't get ip address" ? "1127 ip address" : "1127 no variable";
        return isNumber && double(result.number) == 0;
    }
    if (report.message == WM_USER + 104 && report.text == "Couldn't open snmp") {
        *outcome = "1128 open failed";
        return isEmpty;
    }
    if (report.message == WM_USER + 105 && startsWith(kind, "set")) {
        *outcome = "1129 value refused";  // a text the set's type cannot carry: nothing sent
        return isEmpty;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const long calls = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 20261208u;

    WindowRecord window{&hostProcedure, nullptr};
    HostContext context{};
    context.window = &window;
    VTR_InitModule(&context);

    HostileAgent agent(seed);
    const std::string port = std::to_string(agent.port());
    std::mt19937 random(seed ^ 0x5eed);
    auto pick = [&](uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random); };

    // The engine's diagnostics ("Mangled packet" and the like) would drown the
    // summary: they go to a file for the run and are counted.
    char diagnostics[] = "/tmp/vantor-soak-XXXXXX";
    const int diagnosticsFd = mkstemp(diagnostics);
    std::fflush(stdout);
    const int savedStderr = dup(2);
    const int savedStdout = dup(1);
    dup2(diagnosticsFd, 2);
    dup2(diagnosticsFd, 1);
    // No jitter: a call that gets no usable answer then ends after its two short waits.
    setRandomSource([]() { return 0; });

    Outcomes outcomes;
    long failures = 0;
    const double timeout = 5, retries = 2;
    const char* const kinds[] = {"get",          "getEx", "getnext", "set",     "setEx",
                                 "setCounter64", "trap",  "usm-get", "usm3-get"};
    for (long i = 0; i < calls && failures == 0; ++i) {
        const std::string kind = kinds[pick(sizeof kinds / sizeof kinds[0])];
        std::vector<HostValue> args;
        int32_t id = ScriptIdGet;
        const std::string oid = "1.3.6.1.4.1.4242." + std::to_string(pick(50)) + ".0";
        if (kind == "get" && agent.wellKnownAddress() != nullptr) {
            // The plain forms always ask port 161.
            args = {text(agent.wellKnownAddress()), text("public"), text(oid), number(timeout), number(retries)};
            id = ScriptIdGet;
        } else if (kind == "set" && agent.wellKnownAddress() != nullptr) {
            args = {text(agent.wellKnownAddress()), text("private"), text(oid), number(4), text("soak"),
                    number(timeout), number(retries)};
            id = ScriptIdSet;
        } else if (kind == "get") {
            args = {text("127.0.0.1"), number(agent.port()), number(0), text("public"), text(oid), number(timeout),
                    number(retries)};
            id = ScriptIdGetEx;
        } else if (kind == "getEx") {
            args = {text("127.0.0.1"), number(agent.port()), number(0), text("+public"), text(oid), number(timeout),
                    number(retries)};
            id = ScriptIdGetEx;
        } else if (kind == "getnext") {
            id = ScriptIdGetNext;
        } else if (kind == "set" || kind == "setEx") {
            static const double types[] = {2, 4, 6, 64, 65, 66, 67, 68, 70, 71};
            const double type = types[pick(sizeof types / sizeof types[0])];
            HostValue value = pick(2) ? number(pick(1000000)) : text(pick(2) ? "1.3.6.1.2" : "10.0.0.1");
            args = {text("127.0.0.1"), number(agent.port()), number(0), text("private"), text(oid), number(type),
                    value, number(timeout), number(retries)};
            id = ScriptIdSetEx;
        } else if (kind == "setCounter64") {
            args = {text("127.0.0.1"), number(agent.port()), number(0), text("private"), text(oid), number(70),
                    number(pick(100)), number(pick(100000)), number(timeout), number(retries)};
            id = ScriptIdSetEx;
        } else if (kind == "trap") {
            args = {text("127.0.0.1"), number(agent.port()), number(0), text("public"), number(pick(7)),
                    number(pick(100)), text("enterprises.4242")};
            id = ScriptIdTrapEx;
        } else if (kind == "usm-get") {
            args = {text("127.0.0.1"), number(agent.port()), number(0), text(std::string("/soak/0x") + UserKeyHex),
                    text(oid), number(timeout), number(retries)};
            id = ScriptIdGetEx;
        } else {
            args = {text("127.0.0.1"), number(agent.port()), number(0), text(UsmCommunity), text(oid),
                    number(timeout), number(retries)};
            id = ScriptIdGetEx;
        }
        args.resize(16);
        reports().clear();
        const HostValue result = ScriptDispatcher(args.data(), id);
        std::string outcome;
        if (!classify(kind, result, reports(), &outcome)) {
            ++failures;
            dup2(savedStderr, 2);
            dup2(savedStdout, 1);
            std::fprintf(stderr, "call %ld (%s): undocumented outcome: type %u, %zu reports", i, kind.c_str(),
                         result.type, reports().size());
            for (const Report& r : reports())
                std::fprintf(stderr, " [%u %s]", r.message, r.text.c_str());
            std::fprintf(stderr, "\n");
        }
        outcomes.add(kind + ": " + outcome);
    }
    std::fflush(stdout);
    dup2(savedStderr, 2);
    dup2(savedStdout, 1);
    close(savedStderr);
    close(savedStdout);
    setRandomSource(nullptr);

    // Count the engine's diagnostics by their first words.
    std::map<std::string, uint64_t> lines;
    if (FILE* f = fopen(diagnostics, "r")) {
        char line[512];
        while (fgets(line, sizeof line, f) != nullptr) {
            // Grouped by their fixed words: what follows a colon or an opening
            // parenthesis (an error text, a tag, an address) varies.
            std::string l(line);
            const size_t colon = l.find(':');
            const size_t cut = colon != std::string::npos && colon < 20 ? colon : l.find_first_of(":(\n");
            lines[l.substr(0, cut == std::string::npos ? l.size() : cut)]++;
        }
        fclose(f);
    }
    close(diagnosticsFd);
    unlink(diagnostics);

    std::printf("calls: %ld (seed %u), undocumented outcomes: %ld\n", calls, seed, failures);
    for (const auto& entry : outcomes.counts)
        std::printf("  %-34s %" PRIu64 "\n", entry.first.c_str(), entry.second);
    std::printf("engine diagnostics:\n");
    for (const auto& entry : lines)
        std::printf("  %-34s %" PRIu64 "\n", entry.first.c_str(), entry.second);
    agent.printSummary();
    hostServices() = HostServices();
    return failures == 0 ? 0 : 1;
}
