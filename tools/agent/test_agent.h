// An SNMP agent for tests and benchmarks: one UDP socket on a loopback
// address, a table of variables, and answers to SNMPv1 and SNMPv2c get,
// get-next, set (and get-bulk in SNMPv2c) that can be told to misbehave.
//
// It runs in-process (serveOne/run on any thread, or start() for a thread of
// its own) or as the command-line tool snmp-test-agent. Messages are decoded
// and encoded with the engine's codec (snmp/message.h), so a program using
// this library links vantor_core as well.
//
// Every public method may be called from any thread while the agent serves:
// table, settings and log sit behind one lock.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "snmp/codec/pdu.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/session.h"
#include "tools/agent/mib_table.h"

namespace testagent {

// Error statuses the agent answers with (RFC 1157, RFC 3416).
constexpr int32_t ErrNoError = SNMP_ERR_NOERROR;
constexpr int32_t ErrTooBig = SNMP_ERR_TOOBIG;
constexpr int32_t ErrNoSuchName = SNMP_ERR_NOSUCHNAME;
constexpr int32_t ErrBadValue = SNMP_ERR_BADVALUE;
constexpr int32_t ErrReadOnly = SNMP_ERR_READONLY;
constexpr int32_t ErrGenErr = SNMP_ERR_GENERR;
constexpr int32_t ErrWrongType = SNMP_ERR_WRONGTYPE;
constexpr int32_t ErrWrongLength = SNMP_ERR_WRONGLENGTH;
constexpr int32_t ErrWrongEncoding = SNMP_ERR_WRONGENCODING;
constexpr int32_t ErrNoCreation = SNMP_ERR_NOCREATION;
constexpr int32_t ErrNotWritable = SNMP_ERR_NOTWRITABLE;

struct PduDeleter {
    void operator()(SnmpPdu* pdu) const { freePdu(pdu); }
};
using PduPtr = std::unique_ptr<SnmpPdu, PduDeleter>;

// A PDU record of the given bindings, each value in a buffer of its own; null
// when memory runs out.
PduPtr buildPdu(int32_t command, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
                const std::vector<Variable>& vars);

// How a mangled copy of a reply is broken (each one fails to decode).
enum class Mangle {
    None,
    Truncate,     // only the first half of the octets
    OuterLength,  // the outer SEQUENCE claims one octet more than there is
    OuterTag,     // the outer tag is 0x31 instead of 0x30
    Version,      // the version element says 3
};
bool parseMangle(const std::string& word, Mangle* mangle);
const char* mangleName(Mangle mangle);

// Ways to misbehave, all independent of each other. For one request that is
// answered, the agent builds the proper reply from its table, then:
//   1. reply shaping: errorStatus/errorIndex replace the reply's error
//      fields; extraBefore/extraAfter add bindings; report turns the
//      Response (0xA2) into a Report (0xA8);
//   2. waits delayMs (other requests are served meanwhile);
//   3. sends, in this order: the reply of the previous answered request
//      (previousReplyFirst), the reply with requestId + wrongIdOffset
//      (wrongIdFirst), a copy of the reply with the PDU tag commandFirst and
//      forged values, a mangled copy of the reply (mangleFirst), a hook's
//      forged copies (ReceivedRequest::forgedFirst), the reply (unless a hook
//      withholds it), and the reply once more (duplicate).
// dropFirst counts requests that would be answered (decoded, accepted
// version and community, a request command): the first dropFirst of them get
// no answer at all. misbehaveCount limits everything else to the first
// misbehaveCount answered requests (0: every one). Both counts start again
// whenever the misbehaviour is set.
struct Misbehaviour {
    int32_t dropFirst = 0;
    int32_t delayMs = 0;
    bool wrongIdFirst = false;
    int32_t wrongIdOffset = 1000;
    bool previousReplyFirst = false;
    int32_t commandFirst = 0;  // a PDU tag (a request, an inform, ...); 0: none
    Mangle mangleFirst = Mangle::None;
    bool report = false;
    int32_t errorStatus = -1;  // -1: as the table gives it
    int32_t errorIndex = -1;   // -1: 1 when errorStatus is set above 0, else 0
    int32_t extraBefore = 0;
    int32_t extraAfter = 0;
    bool duplicate = false;
    int32_t misbehaveCount = 0;
    // Requests of this PDU tag get no answer at all (an agent that ignores
    // GetBulk); 0: none.
    int32_t ignoreCommand = 0;
    // When not 0, only requests of this PDU tag misbehave (and count).
    int32_t onlyCommand = 0;
    // When above 0: an answer whose message would be longer is tooBig, as
    // from an agent with a small maximum message size.
    int32_t replyLimit = 0;
    // When above 0: the bindings from this place on (1-based) repeat the
    // answer's first ones, so that the names stop increasing there.
    int32_t repeatFrom = 0;
    // The answer goes out padded to more octets than a manager receives
    // (SnmpPacketSize + 100), in its place.
    bool oversize = false;
};

// Encodes an answer PDU into a whole message, for a hook whose messages
// encodeMessage does not make (SNMPv3). False when it cannot.
using ReplyEncoder = std::function<bool(const SnmpPdu& pdu, std::vector<uint8_t>* out)>;

// Another encoding of the answer to one request, sent before the answer
// itself (see ReceivedRequest::forgedFirst).
struct ReplyVariant {
    SnmpSession session{};  // encoding record, as ReceivedRequest::reply
    int32_t encodeFlag = 0;
    ReplyEncoder encoder;   // when set, encodes instead of session
    // Instead of an encoding: the reply that went to the previous answered
    // request, as it went out (nothing when there is none yet).
    bool previousReply = false;
    int32_t command = 0;    // 0: the answer's own command; otherwise this one
    // Every binding keeps its name and carries the OCTET STRING "forged", so
    // that a manager that takes this copy shows it.
    bool forgedValues = true;
    // When not empty, the bindings the copy carries instead.
    std::vector<Variable> bindingsInstead;
};

// The value the bindings of a forged copy carry.
extern const char ForgedValue[];

// One received request, as a RequestHook sees it.
struct ReceivedRequest {
    std::vector<uint8_t> datagram;  // as received; the hook may change it
    Endpoint source{};
    int32_t version = 0;
    std::string community;  // the community octets (the parameters block in version 2)
    size_t communityOffset = 0;  // where those octets start in datagram
    SnmpPdu* pdu = nullptr; // the decoded request, owned by the agent
    // Version 3 (SNMPv3), which the community codec does not read, comes to
    // the hook with pdu null and no community: a hook that speaks it decodes
    // the PDU into `decoded`, which the agent owns from then on (a Report
    // outcome needs one, for its request id). Without it nothing is answered.
    PduPtr decoded;
    // How the answer is encoded: version and community start as the
    // request's; a hook may set the user-based members and version 2.
    // Before encoding the agent points reply.community at replyCommunity.
    SnmpSession reply{};
    std::string replyCommunity;
    // Handed to encodeMessage with reply: other than 0, a version-2 answer
    // carries the agent's boots and time even without authentication.
    int32_t encodeFlag = 0;
    // When set, encodes the answer (and a Report outcome) instead of reply.
    ReplyEncoder encoder;
    // Octets the hook's encoding adds beyond the community form's, for
    // filling a get-bulk answer.
    int32_t replyOverhead = 0;

    // Misbehaviour a hook prepares; the agent applies it only to requests
    // that its Misbehaviour affects (misbehaveCount), like its own.
    bool useShapedReply = false;
    SnmpSession shapedReply{};  // encodes the answer instead of reply
    std::vector<ReplyVariant> forgedFirst;  // sent just before the answer (or a Report outcome), in order
    bool withholdReply = false;  // the answer itself (and its duplicate) stay unsent

    // What the log shows for this request instead of the community octets
    // (when logCommunitySet), and further "key=value" fields after it.
    bool logCommunitySet = false;
    std::string logCommunity;
    std::string logFields;
    // False when the agent keeps no log at all: a hook need not format it.
    bool logged = true;
};

enum class HookAction {
    Default,  // no opinion: version and community checks decide
    Answer,   // accepted: answer from the table (the checks are skipped)
    Drop,     // no answer
    Report,   // answer at once with a Report of reportBindings, nothing else
};

struct HookOutcome {
    HookAction action = HookAction::Default;
    std::vector<Variable> reportBindings;
    // The log's action word for Drop and Report (default hook-drop, hook-report).
    std::string logAction;
};

// Called for every request that decodes, between decoding and answering:
// the place where a security mode judges a message and prepares the reply.
using RequestHook = std::function<HookOutcome(ReceivedRequest& request)>;

struct AgentConfig {
    std::string address = "127.0.0.1";  // anything outside 127.0.0.0/8 and ::1 is refused
    uint16_t port = 0;                  // 0: the system chooses
    std::vector<std::string> communities{"public"};
    bool anyCommunity = false;  // accept every community
    bool readOnly = false;      // sets fail: v1 readOnly(4), v2c notWritable(17)
    bool allowCreate = false;   // a set of a missing name creates it
    bool v1Counter64 = false;   // serve Counter64 variables to SNMPv1 requests too
    Misbehaviour misbehaviour;
    std::string logPath;     // when set, each log line is appended to this file
    bool memoryLog = true;   // keep entries for log(); a long benchmark may turn it off
    RequestHook hook;
};

// One line of the request log: one received datagram.
struct LogEntry {
    int64_t arrivalMicros = 0;  // system clock, microseconds since the epoch
    uint16_t sourcePort = 0;
    int32_t version = -1;  // -1 when the header did not decode
    std::string community;
    std::string fields;  // further "key=value" fields a hook adds after the community
    int32_t command = -1;  // PDU tag; -1 when the PDU did not decode
    int32_t requestId = 0;
    std::vector<Variable> bindings;  // names as received; types and values too
    // answered, dropped, bad-community, bad-version, undecodable,
    // not-a-request, hook-drop, hook-report, unsendable
    std::string action;
    int32_t datagramsSent = 0;  // datagrams sent (or scheduled) for it
    int32_t errorStatus = 0;    // of the proper reply, before any shaping
    int32_t errorIndex = 0;
};

// "get", "getnext", "set", "getbulk", "response", "trap", "report", or the
// tag as 0xNN.
std::string commandName(int32_t command);
// The log line of an entry (see the README): seconds.micros, then
// port=, version=, community=, the hook's fields, command=, id=, action=, sent=, status=,
// index=, then the bindings: OID for a binding without a value,
// OID=type:value otherwise.
std::string formatLogLine(const LogEntry& entry);

class TestAgent {
public:
    explicit TestAgent(AgentConfig config = AgentConfig(), MibTable table = MibTable::builtIn());
    ~TestAgent();
    TestAgent(const TestAgent&) = delete;
    TestAgent& operator=(const TestAgent&) = delete;

    // Creates and binds the socket (and opens the log file). False, with a
    // reason, when it cannot; calling it again after success does nothing.
    bool open(std::string* error = nullptr);
    // The bound port (host order); 0 before open.
    uint16_t port() const { return port_; }

    // Waits up to timeoutMs (negative: no limit) for one datagram and handles
    // it, sending delayed replies as they fall due meanwhile. 1 when a
    // datagram was handled, 0 when the time ran out or a stop was requested,
    // -1 when the socket failed or is not open. One thread at a time serves
    // (serveOne, run, or the thread of start()).
    int serveOne(int timeoutMs);
    // Serves until a stop is requested, or maxRequests datagrams have been
    // handled (0: no limit), or durationMs has passed (0: no limit). Delayed
    // replies still due are sent before it returns, unless it was stopped.
    void run(uint64_t maxRequests = 0, int64_t durationMs = 0);

    // Opens the socket if needed and runs run() on a thread of its own.
    bool start(std::string* error = nullptr);
    // Requests a stop and joins the thread (if start() made one).
    void stop();
    // Makes run()/serveOne() return soon. Async-signal-safe.
    void requestStop();
    bool stopRequested() const { return stop_.load(); }

    // Settings, effective from the next datagram.
    void setMisbehaviour(const Misbehaviour& misbehaviour);
    Misbehaviour misbehaviour() const;
    void setReadOnly(bool readOnly);
    void setCommunities(const std::vector<std::string>& communities, bool anyCommunity = false);
    void setAllowCreate(bool allowCreate);
    void setV1Counter64(bool v1Counter64);
    void setHook(RequestHook hook);

    // The table.
    void setVariable(const Variable& var);
    bool removeVariable(const OidVector& name);
    bool variable(const OidVector& name, Variable* out) const;
    size_t tableSize() const;

    // The request log (entries kept only with memoryLog; logSize() counts
    // every datagram either way).
    std::vector<LogEntry> log() const;
    size_t logSize() const;
    // Waits until the log holds at least `entries` entries; false when
    // timeoutMs passed first. An entry is logged after its replies went out
    // (or were scheduled, when delayed).
    bool waitForLog(size_t entries, int timeoutMs) const;
    void clearLog();
    // Datagrams the agent has sent (delayed ones once they went out).
    uint64_t datagramsSent() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        std::vector<uint8_t> data;
        Endpoint destination{};
    };

    void handleDatagram(std::vector<uint8_t> datagram, const Endpoint& source);
    void sendDue();
    void sendNow(const Outgoing& out);
    int nextWaitMs(int requestedMs, Clock::time_point deadline, bool limited) const;
    void writeLog(LogEntry entry);

    AgentConfig config_;
    MibTable table_;
    int socket_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    uint16_t port_ = 0;
    std::FILE* logFile_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable logChanged_;
    std::vector<LogEntry> log_;
    size_t logged_ = 0;
    std::vector<uint8_t> receiveBuffer_;
    uint64_t acceptedRequests_ = 0;  // since the misbehaviour was set
    uint64_t answeredRequests_ = 0;  // since the misbehaviour was set
    std::vector<uint8_t> previousReply_;
    uint64_t sent_ = 0;
    std::multimap<Clock::time_point, Outgoing> delayed_;  // equal times keep their order
};

}  // namespace testagent
