#include "tools/agent/test_agent.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "platform/winsock.h"
#include "snmp/codec/message.h"
#include "snmp/codec/v3_message.h"
#include "snmp/security/common/signed_message.h"

namespace testagent {

namespace {

// Largest datagram read; longer ones are cut by the kernel and fail to decode.
constexpr size_t ReceiveCapacity = 65536;

// Room kept for the message, PDU and list headers and the three integers
// when filling a get-bulk answer (on top of the community).
constexpr int32_t ReplyOverhead = 64;

int64_t nowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool isLoopback(const Endpoint& address)
{
    static const uint8_t ipv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (address.family == EndpointIPv6)
        return std::memcmp(address.address, ipv6Loopback, sizeof ipv6Loopback) == 0;
    return address.family == EndpointIPv4 && address.address[0] == 127;
}

std::vector<Variable> copyBindings(const VarBind* var)
{
    std::vector<Variable> out;
    for (; var != nullptr; var = var->next) {
        Variable v;
        if (var->name != nullptr && var->nameLength > 0)
            v.name.assign(var->name, var->name + var->nameLength);
        v.type = var->type;
        if (var->value != nullptr && var->valueLength > 0)
            v.value.assign(var->value, var->value + var->valueLength);
        out.push_back(std::move(v));
    }
    return out;
}

// Encodes with the given record (request.reply, its shaped form or a
// forged variant), its community being the request's replyCommunity; or with
// the hook's encoder, when it gave one.
bool encodeWith(const ReceivedRequest& request, SnmpSession record, int32_t encodeFlag, const ReplyEncoder& encoder,
                int32_t command, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
                const std::vector<Variable>& vars, std::vector<uint8_t>* out)
{
    PduPtr pdu = buildPdu(command, requestId, errorStatus, errorIndex, vars);
    if (!pdu)
        return false;
    if (encoder)
        return encoder(*pdu, out);
    record.community = reinterpret_cast<const uint8_t*>(request.replyCommunity.data());
    if (record.version != SnmpVersionUsec)
        record.communityLength = static_cast<int32_t>(request.replyCommunity.size());
    uint8_t buffer[SnmpPacketSize];
    int32_t length = SnmpPacketSize;
    if (encodeMessage(&record, pdu.get(), buffer, &length, encodeFlag) != 0)
        return false;
    out->assign(buffer, buffer + length);
    return true;
}

bool encodeReply(const ReceivedRequest& request, int32_t command, int32_t requestId, int32_t errorStatus,
                 int32_t errorIndex, const std::vector<Variable>& vars, std::vector<uint8_t>* out)
{
    return encodeWith(request, request.reply, request.encodeFlag, request.encoder, command, requestId, errorStatus,
                      errorIndex, vars, out);
}

// The bindings of a forged copy: the same names, each with the value ForgedValue.
std::vector<Variable> forgedBindings(const std::vector<Variable>& vars)
{
    std::vector<Variable> out;
    for (const Variable& v : vars)
        out.push_back(makeVariable(v.name, ASN_OCTET_STR, bytesValue(ForgedValue)));
    return out;
}

// The request's bindings to echo. A value the codec does not decode (a BIT
// STRING, an unknown type) cannot be sent back as it came: NULL stands in.
std::vector<Variable> echoed(std::vector<Variable> request)
{
    for (Variable& v : request) {
        if (!encodable(v)) {
            v.type = ASN_NULL;
            v.value.clear();
        }
    }
    return request;
}

// Octets of one binding as the engine encodes it; 0 when it cannot.
int32_t bindingSize(const Variable& v)
{
    uint8_t buffer[SnmpPacketSize];
    int32_t remaining = SnmpPacketSize;
    uint8_t* end = encodeVarBind(buffer, &remaining, v.name.data(), static_cast<int32_t>(v.name.size()), v.type,
                                 static_cast<int32_t>(v.value.size()), v.value.empty() ? nullptr : v.value.data());
    return end == nullptr ? 0 : static_cast<int32_t>(end - buffer);
}

std::vector<uint8_t> mangled(std::vector<uint8_t> data, Mangle mangle)
{
    switch (mangle) {
    case Mangle::OuterLength:
        // The encoder always writes the four-octet form 30 82 hh ll.
        if (data.size() >= 4 && data[1] == 0x82) {
            const uint32_t length = ((uint32_t{data[2]} << 8) | data[3]) + 1;
            data[2] = static_cast<uint8_t>(length >> 8);
            data[3] = static_cast<uint8_t>(length);
            return data;
        }
        break;
    case Mangle::OuterTag:
        if (!data.empty())
            data[0] = 0x31;
        return data;
    case Mangle::Version:
        if (data.size() >= 7 && data[4] == ASN_INTEGER && data[5] == 1) {
            data[6] = 3;
            return data;
        }
        break;
    case Mangle::Truncate:
    case Mangle::None:
        break;
    }
    data.resize(std::max<size_t>(1, data.size() / 2));
    return data;
}

std::string communityText(const std::string& community)
{
    const bool plain = !community.empty() && std::all_of(community.begin(), community.end(), [](char ch) {
        return ch > ' ' && ch < 0x7F && ch != '"' && ch != '\\';
    });
    if (plain)
        return community;
    return formatValue(ASN_OCTET_STR, bytesValue(community), true);
}

}  // namespace

PduPtr buildPdu(int32_t command, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
                const std::vector<Variable>& vars)
{
    PduPtr pdu(createPdu(command));
    if (!pdu)
        return nullptr;
    pdu->requestId = requestId;
    pdu->errorStatus = errorStatus;
    pdu->errorIndex = errorIndex;
    // Linked here, each in constant time: a reply may carry hundreds.
    static const uint8_t none = 0;
    VarBind** tail = &pdu->variables;
    for (const Variable& v : vars) {
        *tail = newVar(v.name.data(), static_cast<int32_t>(v.name.size()), v.type,
                       v.value.empty() ? &none : v.value.data(), static_cast<int32_t>(v.value.size()));
        if (*tail == nullptr)
            return nullptr;
        tail = &(*tail)->next;
    }
    return pdu;
}

const char ForgedValue[] = "forged";

bool parseMangle(const std::string& word, Mangle* mangle)
{
    static const struct {
        const char* word;
        Mangle mangle;
    } names[] = {{"none", Mangle::None},
                 {"truncate", Mangle::Truncate},
                 {"length", Mangle::OuterLength},
                 {"tag", Mangle::OuterTag},
                 {"version", Mangle::Version}};
    for (const auto& n : names) {
        if (word == n.word) {
            *mangle = n.mangle;
            return true;
        }
    }
    return false;
}

const char* mangleName(Mangle mangle)
{
    switch (mangle) {
    case Mangle::None:
        return "none";
    case Mangle::Truncate:
        return "truncate";
    case Mangle::OuterLength:
        return "length";
    case Mangle::OuterTag:
        return "tag";
    case Mangle::Version:
        return "version";
    }
    return "none";
}

std::string commandName(int32_t command)
{
    switch (command) {
    case PduGetRequest:
        return "get";
    case PduGetNextRequest:
        return "getnext";
    case PduSetRequest:
        return "set";
    case PduGetBulkRequest:
        return "getbulk";
    case PduResponse:
        return "response";
    case PduTrap:
        return "trap";
    case PduReport:
        return "report";
    default:
        break;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(command) & 0xFFu);
    return buffer;
}

std::string formatLogLine(const LogEntry& entry)
{
    char time[40];
    const int64_t seconds = entry.arrivalMicros / 1000000;
    const int64_t micros = entry.arrivalMicros % 1000000;
    std::snprintf(time, sizeof time, "%lld.%06lld", static_cast<long long>(seconds), static_cast<long long>(micros));
    const bool header = entry.version >= 0;
    const bool pdu = entry.command >= 0;
    std::string line = time;
    line += " port=" + std::to_string(entry.sourcePort);
    line += " version=" + (header ? std::to_string(entry.version) : std::string("-"));
    line += " community=" + (header ? communityText(entry.community) : std::string("-"));
    if (header && !entry.fields.empty())
        line += " " + entry.fields;
    line += " command=" + (pdu ? commandName(entry.command) : std::string("-"));
    line += " id=" + (pdu ? std::to_string(entry.requestId) : std::string("-"));
    line += " action=" + entry.action;
    line += " sent=" + std::to_string(entry.datagramsSent);
    line += " status=" + std::to_string(entry.errorStatus);
    line += " index=" + std::to_string(entry.errorIndex);
    for (const Variable& v : entry.bindings) {
        line += ' ';
        line += formatOid(v.name);
        if (entry.command == PduSetRequest || v.type != ASN_NULL) {
            line += '=';
            line += typeKeyword(v.type);
            line += ':';
            line += formatValue(v.type, v.value, true);
        }
    }
    return line;
}

TestAgent::TestAgent(AgentConfig config, MibTable table) : config_(std::move(config)), table_(std::move(table)) {}

TestAgent::~TestAgent()
{
    stop();
    if (socket_ >= 0)
        ::close(socket_);
    if (wakeRead_ >= 0)
        ::close(wakeRead_);
    if (wakeWrite_ >= 0)
        ::close(wakeWrite_);
    if (logFile_ != nullptr)
        std::fclose(logFile_);
}

bool TestAgent::open(std::string* error)
{
    std::string reason;
    if (socket_ >= 0)
        return true;
    Endpoint bound{};
    bound.port = config_.port;
    if (inet_pton(AF_INET, config_.address.c_str(), bound.address) == 1)
        bound.family = EndpointIPv4;
    else if (inet_pton(AF_INET6, config_.address.c_str(), bound.address) == 1)
        bound.family = EndpointIPv6;
    sockaddr_storage address;
    socklen_t length = static_cast<socklen_t>(winSockaddrOf(bound, &address));
    if (!isLoopback(bound)) {
        reason = "refusing address " + config_.address + ": only 127.0.0.0/8 and ::1";
    } else {
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
            reason = std::string("pipe: ") + std::strerror(errno);
        } else {
            wakeRead_ = fds[0];
            wakeWrite_ = fds[1];
            const int sock = ::socket(winSocketFamily(bound), SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (sock < 0) {
                reason = std::string("socket: ") + std::strerror(errno);
            } else if (::bind(sock, reinterpret_cast<sockaddr*>(&address), length) != 0) {
                reason = "bind " + config_.address + ":" + std::to_string(config_.port) + ": " + std::strerror(errno);
                ::close(sock);
            } else {
                winLocalEndpoint(sock, &bound);
                // Benchmarks send bursts; a larger queue keeps them from being dropped.
                const int buffer = 1 << 20;
                ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
                socket_ = sock;
                port_ = bound.port;
            }
        }
    }
    if (socket_ >= 0 && !config_.logPath.empty()) {
        logFile_ = std::fopen(config_.logPath.c_str(), "w");
        if (logFile_ == nullptr) {
            reason = config_.logPath + ": " + std::strerror(errno);
            ::close(socket_);
            socket_ = -1;
            port_ = 0;
        }
    }
    if (socket_ < 0) {
        if (error != nullptr)
            *error = reason;
        return false;
    }
    return true;
}

void TestAgent::requestStop()
{
    stop_.store(true);
    if (wakeWrite_ >= 0) {
        const char byte = 1;
        ssize_t ignored = ::write(wakeWrite_, &byte, 1);
        (void)ignored;
    }
}

bool TestAgent::start(std::string* error)
{
    if (thread_.joinable())
        return true;
    if (!open(error))
        return false;
    stop_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
}

void TestAgent::stop()
{
    if (!thread_.joinable())
        return;
    requestStop();
    thread_.join();
    char drain[64];
    while (wakeRead_ >= 0 && ::read(wakeRead_, drain, sizeof drain) > 0) {
    }
    stop_.store(false);
}

int TestAgent::nextWaitMs(int requestedMs, Clock::time_point deadline, bool limited) const
{
    const Clock::time_point now = Clock::now();
    Clock::time_point until = Clock::time_point::max();
    if (limited)
        until = deadline;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!delayed_.empty())
            until = std::min(until, delayed_.begin()->first);
    }
    if (until == Clock::time_point::max())
        return requestedMs < 0 ? -1 : requestedMs;
    if (until <= now)
        return 0;
    // Round up, so that a wake-up never comes before the due time.
    const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(until - now).count();
    return static_cast<int>(std::min<int64_t>((wait + 999) / 1000, 1 << 30));
}

int TestAgent::serveOne(int timeoutMs)
{
    if (socket_ < 0)
        return -1;
    const bool limited = timeoutMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
    if (receiveBuffer_.size() != ReceiveCapacity)
        receiveBuffer_.resize(ReceiveCapacity);
    while (true) {
        sendDue();
        if (stop_.load())
            return 0;
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int rc = ::poll(fds, 2, nextWaitMs(timeoutMs, deadline, limited));
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (fds[1].revents != 0) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents != 0) {
            sockaddr_storage from{};
            socklen_t sourceLength = sizeof from;
            const ssize_t n = ::recvfrom(socket_, receiveBuffer_.data(), receiveBuffer_.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &sourceLength);
            Endpoint source;
            winEndpointOf(reinterpret_cast<const sockaddr*>(&from), static_cast<int>(sourceLength), &source);
            if (n >= 0) {
                handleDatagram(std::vector<uint8_t>(receiveBuffer_.begin(), receiveBuffer_.begin() + n), source);
                return 1;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNREFUSED)
                return -1;
        }
        if (limited && Clock::now() >= deadline) {
            sendDue();
            return 0;
        }
    }
}

void TestAgent::run(uint64_t maxRequests, int64_t durationMs)
{
    const bool limited = durationMs > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limited ? durationMs : 0);
    uint64_t handled = 0;
    while (!stop_.load()) {
        if (maxRequests > 0 && handled >= maxRequests)
            break;
        int wait = -1;
        if (limited) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            wait = static_cast<int>(std::min<int64_t>(left, 1 << 30));
        }
        const int rc = serveOne(wait);
        if (rc < 0)
            break;
        handled += static_cast<uint64_t>(rc);
    }
    // Replies still waiting for their delay go out before the agent ends.
    while (!stop_.load()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (delayed_.empty())
                break;
        }
        pollfd fd = {wakeRead_, POLLIN, 0};
        ::poll(&fd, 1, nextWaitMs(-1, Clock::now(), false));
        sendDue();
    }
}

void TestAgent::sendNow(const Outgoing& out)
{
    // Replies only ever go back to loopback senders.
    if (!isLoopback(out.destination))
        return;
    sockaddr_storage to;
    const int toLength = winSockaddrOf(out.destination, &to);
    const ssize_t n = ::sendto(socket_, out.data.data(), out.data.size(), 0,
                               reinterpret_cast<const sockaddr*>(&to), static_cast<socklen_t>(toLength));
    if (n >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++sent_;
    }
}

void TestAgent::sendDue()
{
    while (true) {
        Outgoing out;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (delayed_.empty() || delayed_.begin()->first > Clock::now())
                return;
            out = std::move(delayed_.begin()->second);
            delayed_.erase(delayed_.begin());
        }
        sendNow(out);
    }
}

void TestAgent::writeLog(LogEntry entry)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (logFile_ != nullptr) {
        const std::string line = formatLogLine(entry) + "\n";
        std::fwrite(line.data(), 1, line.size(), logFile_);
        std::fflush(logFile_);
    }
    ++logged_;
    if (config_.memoryLog)
        log_.push_back(std::move(entry));
    logChanged_.notify_all();
}

namespace {

// What the table says to one request, before any misbehaviour.
struct Answer {
    int32_t errorStatus = ErrNoError;
    int32_t errorIndex = 0;
    std::vector<Variable> bindings;
};

class Responder {
public:
    Responder(MibTable& table, const AgentConfig& config, int32_t version)
        : table_(table), config_(config), version_(version)
    {
    }

    // Whether a variable exists for this request's version: SNMPv1 cannot
    // carry Counter64, so such variables are out of its view.
    bool visible(const Variable& v) const
    {
        return version_ != SnmpVersion1 || v.type != ASN_COUNTER64 || config_.v1Counter64;
    }

    const Variable* findVisible(const OidVector& name) const
    {
        const Variable* v = table_.find(name);
        return v != nullptr && visible(*v) ? v : nullptr;
    }

    const Variable* nextVisible(const OidVector& name) const
    {
        const Variable* v = table_.next(name);
        while (v != nullptr && !visible(*v))
            v = table_.next(v->name);
        return v;
    }

    // An error answer: the request's bindings unchanged.
    Answer v1Error(int32_t status, size_t index, const std::vector<Variable>& request) const
    {
        Answer a;
        a.errorStatus = status;
        a.errorIndex = static_cast<int32_t>(index + 1);
        a.bindings = echoed(request);
        return a;
    }

    Answer get(const std::vector<Variable>& request) const
    {
        Answer a;
        for (size_t i = 0; i < request.size(); ++i) {
            const OidVector& name = request[i].name;
            if (const Variable* v = findVisible(name)) {
                a.bindings.push_back(*v);
                continue;
            }
            if (version_ == SnmpVersion1)
                return v1Error(ErrNoSuchName, i, request);
            a.bindings.push_back(
                makeVariable(name, table_.underKnownObject(name) ? ASN_NOSUCHINSTANCE : ASN_NOSUCHOBJECT, {}));
        }
        return a;
    }

    Answer getNext(const std::vector<Variable>& request) const
    {
        Answer a;
        for (size_t i = 0; i < request.size(); ++i) {
            if (const Variable* v = nextVisible(request[i].name)) {
                a.bindings.push_back(*v);
                continue;
            }
            if (version_ == SnmpVersion1)
                return v1Error(ErrNoSuchName, i, request);
            a.bindings.push_back(makeVariable(request[i].name, ASN_ENDOFMIBVIEW, {}));
        }
        return a;
    }

    Answer getBulk(const std::vector<Variable>& request, int32_t nonRepeaters, int32_t maxRepetitions,
                   int32_t budget) const
    {
        Answer a;
        const size_t fixed = std::min(request.size(), static_cast<size_t>(std::max(0, nonRepeaters)));
        int32_t used = 0;
        auto add = [&](Variable v) {
            const int32_t size = bindingSize(v);
            if (size == 0 || used + size > budget)
                return false;
            used += size;
            a.bindings.push_back(std::move(v));
            return true;
        };
        for (size_t i = 0; i < fixed; ++i) {
            const Variable* v = nextVisible(request[i].name);
            if (!add(v != nullptr ? *v : makeVariable(request[i].name, ASN_ENDOFMIBVIEW, {}))) {
                a.bindings.clear();
                a.errorStatus = ErrTooBig;
                return a;
            }
        }
        std::vector<OidVector> cursor;
        for (size_t i = fixed; i < request.size(); ++i)
            cursor.push_back(request[i].name);
        for (int32_t row = 0; row < maxRepetitions && !cursor.empty(); ++row) {
            bool allEnded = true;
            for (OidVector& name : cursor) {
                const Variable* v = nextVisible(name);
                if (v != nullptr) {
                    allEnded = false;
                    if (!add(*v))
                        return a;
                    name = v->name;
                } else if (!add(makeVariable(name, ASN_ENDOFMIBVIEW, {}))) {
                    return a;
                }
            }
            if (allEnded)
                break;
        }
        return a;
    }

    Answer set(const std::vector<Variable>& request)
    {
        const bool v1 = version_ == SnmpVersion1;
        if (config_.readOnly && !request.empty())
            return error(v1 ? ErrReadOnly : ErrNotWritable, 0, request);
        for (size_t i = 0; i < request.size(); ++i) {
            const Variable& v = request[i];
            if (!storable(v.type) || (v1 && v.type == ASN_COUNTER64 && !config_.v1Counter64))
                return error(v1 ? ErrBadValue : ErrWrongType, i, request);
            if (v.type == ASN_IPADDRESS && v.value.size() != 4)
                return error(v1 ? ErrBadValue : ErrWrongLength, i, request);
            // A value that did not read as its type (an integer beyond it, an empty OID).
            if (!encodable(v))
                return error(v1 ? ErrBadValue : ErrWrongEncoding, i, request);
            const Variable* existing = table_.find(v.name);
            if (existing != nullptr && !visible(*existing))
                return error(v1 ? ErrNoSuchName : ErrNotWritable, i, request);
            if (existing == nullptr && !config_.allowCreate)
                return error(v1 ? ErrNoSuchName : ErrNoCreation, i, request);
        }
        // Every binding passed: store them all, each with the request's type.
        for (const Variable& v : request)
            table_.put(v);
        Answer a;
        a.bindings = request;
        return a;
    }

private:
    // NULL, the exceptions and what the codec does not decode cannot be stored.
    static bool storable(uint8_t type) { return isStoredValueType(type); }

    Answer error(int32_t status, size_t index, const std::vector<Variable>& request) const
    {
        return v1Error(status, index, request);
    }

    MibTable& table_;
    const AgentConfig& config_;
    int32_t version_;
};

// The n visible table variables after the reply's last name, wrapping to the
// table's start, none of them already in the reply.
std::vector<Variable> extraBindings(const MibTable& table, const Responder& responder,
                                    const std::vector<Variable>& reply, int32_t n)
{
    std::vector<Variable> out;
    if (n <= 0 || table.empty())
        return out;
    std::set<OidVector> taken;
    for (const Variable& v : reply)
        taken.insert(v.name);
    OidVector cursor = reply.empty() ? OidVector{} : reply.back().name;
    for (size_t steps = 0; steps < table.size() && static_cast<int32_t>(out.size()) < n; ++steps) {
        const Variable* v = table.next(cursor);
        if (v == nullptr) {
            v = &table.begin()->second;
        }
        cursor = v->name;
        if (responder.visible(*v) && taken.insert(v->name).second)
            out.push_back(*v);
    }
    return out;
}

bool isRequest(int32_t command, int32_t version)
{
    switch (command) {
    case PduGetRequest:
    case PduGetNextRequest:
    case PduSetRequest:
        return true;
    case PduGetBulkRequest:
    case PduInform:
        return version != SnmpVersion1;  // not SNMPv1 PDUs
    default:
        return false;
    }
}

}  // namespace

void TestAgent::handleDatagram(std::vector<uint8_t> datagram, const Endpoint& source)
{
    LogEntry entry;
    entry.arrivalMicros = nowMicros();
    entry.sourcePort = source.port;

    int32_t remaining = static_cast<int32_t>(std::min<size_t>(datagram.size(), INT32_MAX));
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = SnmpCommunityCapacity;
    int32_t version = 0;
    const uint8_t* pduStart = nullptr;
    // SNMPv3 has no community: its header is the hook's to read.
    const bool v3 = messageVersion(datagram.data(), remaining) == SnmpVersion3;
    if (v3) {
        version = SnmpVersion3;
        communityLength = 0;
    } else if (datagram.empty() ||
               (pduStart = decodeMessageHeader(datagram.data(), &remaining, community, &communityLength,
                                               &version)) == nullptr) {
        entry.action = "undecodable";
        writeLog(std::move(entry));
        return;
    }
    entry.version = version;
    entry.community.assign(reinterpret_cast<const char*>(community), static_cast<size_t>(communityLength));
    // The decoder complains about other versions on standard error; they are
    // simply not ours.
    if (version < SnmpVersion1 || version > SnmpVersion3) {
        entry.action = "bad-version";
        writeLog(std::move(entry));
        return;
    }

    ReceivedRequest request;
    request.source = source;
    request.version = version;
    request.community = entry.community;
    // The community's octets end where the PDU begins.
    if (!v3)
        request.communityOffset =
            static_cast<size_t>(pduStart - datagram.data()) - static_cast<size_t>(communityLength);
    request.reply.version = version;
    request.replyCommunity = entry.community;
    request.datagram = std::move(datagram);
    request.logged = config_.memoryLog || logFile_ != nullptr;

    PduPtr pdu;
    auto takePdu = [&](PduPtr decoded) {
        pdu = std::move(decoded);
        pdu->peerAddress = source;
        entry.command = pdu->command;
        entry.requestId = pdu->requestId;
        entry.bindings = copyBindings(pdu->variables);
        request.pdu = pdu.get();
    };
    if (!v3) {
        PduPtr decoded(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        if (!decoded || decodeMessage(nullptr, decoded.get(), request.datagram.data(),
                                      static_cast<int32_t>(request.datagram.size())) < 0) {
            entry.action = "undecodable";
            writeLog(std::move(entry));
            return;
        }
        takePdu(std::move(decoded));
    }

    RequestHook hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = config_.hook;
    }
    HookOutcome outcome;
    if (hook)
        outcome = hook(request);
    if (request.logCommunitySet)
        entry.community = request.logCommunity;
    entry.fields = request.logFields;
    if (v3) {
        if (request.decoded) {
            takePdu(std::move(request.decoded));
        } else if (outcome.action != HookAction::Drop) {
            entry.action = hook ? "undecodable" : "bad-version";
            writeLog(std::move(entry));
            return;
        }
    }

    switch (outcome.action) {
    case HookAction::Drop:
        entry.action = outcome.logAction.empty() ? "hook-drop" : outcome.logAction;
        writeLog(std::move(entry));
        return;
    case HookAction::Report: {
        std::vector<uint8_t> report;
        if (encodeReply(request, PduReport, pdu->requestId, 0, 0, outcome.reportBindings, &report)) {
            // A hook's forged copies go before the Report too (its bindings unless they bring their own).
            for (const ReplyVariant& variant : request.forgedFirst) {
                std::vector<uint8_t> forged;
                if (!variant.previousReply &&
                    encodeWith(request, variant.session, variant.encodeFlag, variant.encoder,
                               variant.command != 0 ? variant.command : PduReport, pdu->requestId, 0, 0,
                               !variant.bindingsInstead.empty() ? variant.bindingsInstead : outcome.reportBindings,
                               &forged)) {
                    sendNow(Outgoing{std::move(forged), source});
                    ++entry.datagramsSent;
                }
            }
            sendNow(Outgoing{std::move(report), source});
            ++entry.datagramsSent;
            entry.action = outcome.logAction.empty() ? "hook-report" : outcome.logAction;
        } else {
            entry.action = "unsendable";
        }
        writeLog(std::move(entry));
        return;
    }
    case HookAction::Default: {
        if (version != SnmpVersion1 && version != SnmpVersion2c) {
            entry.action = "bad-version";
            writeLog(std::move(entry));
            return;
        }
        bool accepted = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            accepted = config_.anyCommunity || std::find(config_.communities.begin(), config_.communities.end(),
                                                         entry.community) != config_.communities.end();
        }
        if (!accepted) {
            entry.action = "bad-community";
            writeLog(std::move(entry));
            return;
        }
        break;
    }
    case HookAction::Answer:
        break;
    }

    if (!isRequest(pdu->command, version)) {
        entry.action = "not-a-request";
        writeLog(std::move(entry));
        return;
    }

    std::vector<std::vector<uint8_t>> datagrams;
    Misbehaviour m;
    bool affected = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        m = config_.misbehaviour;
        ++acceptedRequests_;
        const bool selected = m.onlyCommand == 0 || pdu->command == m.onlyCommand;
        if (acceptedRequests_ <= static_cast<uint64_t>(std::max(0, m.dropFirst)) ||
            (m.ignoreCommand != 0 && pdu->command == m.ignoreCommand)) {
            entry.action = "dropped";
        } else {
            affected = selected && (m.misbehaveCount <= 0 || answeredRequests_ < static_cast<uint64_t>(m.misbehaveCount));
            if (selected)
                ++answeredRequests_;

            Responder responder(table_, config_, version);
            Answer answer;
            switch (pdu->command) {
            case PduGetRequest:
                answer = responder.get(entry.bindings);
                break;
            case PduGetNextRequest:
                answer = responder.getNext(entry.bindings);
                break;
            case PduSetRequest:
                answer = responder.set(entry.bindings);
                break;
            case PduInform:
                // Acknowledged with the same bindings (RFC 3416 4.2.7).
                answer.bindings = entry.bindings;
                break;
            default: {
                const int32_t budget = SnmpPacketSize - ReplyOverhead - request.replyOverhead -
                                       static_cast<int32_t>(request.replyCommunity.size());
                answer = responder.getBulk(entry.bindings, pdu->errorStatus, pdu->errorIndex, budget);
                break;
            }
            }
            entry.errorStatus = answer.errorStatus;
            entry.errorIndex = answer.errorIndex;

            int32_t command = PduResponse;
            int32_t status = answer.errorStatus;
            int32_t index = answer.errorIndex;
            std::vector<Variable> bindings = std::move(answer.bindings);
            if (affected) {
                if (m.errorStatus >= 0) {
                    status = m.errorStatus;
                    index = m.errorIndex >= 0 ? m.errorIndex : (status > 0 ? 1 : 0);
                } else if (m.errorIndex >= 0) {
                    index = m.errorIndex;
                }
                if (m.extraBefore > 0 || m.extraAfter > 0) {
                    std::vector<Variable> extra =
                        extraBindings(table_, responder, bindings, std::max(0, m.extraBefore) + std::max(0, m.extraAfter));
                    const size_t before = std::min(extra.size(), static_cast<size_t>(std::max(0, m.extraBefore)));
                    bindings.insert(bindings.begin(), extra.begin(), extra.begin() + static_cast<ptrdiff_t>(before));
                    bindings.insert(bindings.end(), extra.begin() + static_cast<ptrdiff_t>(before), extra.end());
                }
                if (m.repeatFrom > 0) {
                    for (size_t i = static_cast<size_t>(m.repeatFrom) - 1; i < bindings.size(); ++i)
                        bindings[i] = bindings[i - (static_cast<size_t>(m.repeatFrom) - 1)];
                }
                if (m.report)
                    command = PduReport;
            }

            // A hook's misbehaviour follows the same count as the agent's own.
            const SnmpSession& record = affected && request.useShapedReply ? request.shapedReply : request.reply;
            std::vector<uint8_t> reply;
            bool encoded = encodeWith(request, record, request.encodeFlag, request.encoder, command, pdu->requestId,
                                      status, index, bindings, &reply);
            if (encoded && m.replyLimit > 0 && reply.size() > static_cast<size_t>(m.replyLimit))
                encoded = false;
            if (!encoded) {
                // Too big for one message: SNMPv1 echoes the request,
                // SNMPv2c sends no bindings.
                entry.errorStatus = ErrTooBig;
                entry.errorIndex = 0;
                status = ErrTooBig;
                index = 0;
                bindings = version == SnmpVersion1 ? echoed(entry.bindings) : std::vector<Variable>();
                encoded = encodeWith(request, record, request.encodeFlag, request.encoder, command, pdu->requestId,
                                     status, index, bindings, &reply);
            }
            if (!encoded) {
                entry.action = "unsendable";
            } else {
                entry.action = "answered";
                if (affected && m.previousReplyFirst && !previousReply_.empty())
                    datagrams.push_back(previousReply_);
                if (affected && m.wrongIdFirst) {
                    const int32_t wrongId = static_cast<int32_t>(static_cast<uint32_t>(pdu->requestId) +
                                                                 static_cast<uint32_t>(m.wrongIdOffset));
                    std::vector<uint8_t> wrong;
                    if (encodeWith(request, record, request.encodeFlag, request.encoder, command, wrongId, status,
                                   index, bindings, &wrong))
                        datagrams.push_back(std::move(wrong));
                }
                std::vector<uint8_t> other;
                if (affected && m.commandFirst != 0 &&
                    encodeWith(request, record, request.encodeFlag, request.encoder, m.commandFirst, pdu->requestId,
                               status, index, forgedBindings(bindings), &other))
                    datagrams.push_back(std::move(other));
                if (affected && m.mangleFirst != Mangle::None)
                    datagrams.push_back(mangled(reply, m.mangleFirst));
                if (affected) {
                    for (const ReplyVariant& variant : request.forgedFirst) {
                        if (variant.previousReply) {
                            if (!previousReply_.empty())
                                datagrams.push_back(previousReply_);
                            continue;
                        }
                        std::vector<uint8_t> forged;
                        if (encodeWith(request, variant.session, variant.encodeFlag, variant.encoder,
                                       variant.command != 0 ? variant.command : command, pdu->requestId, status,
                                       index,
                                       !variant.bindingsInstead.empty() ? variant.bindingsInstead
                                       : variant.forgedValues           ? forgedBindings(bindings)
                                                                        : bindings,
                                       &forged))
                            datagrams.push_back(std::move(forged));
                    }
                }
                const bool withheld = affected && request.withholdReply;
                if (affected && m.oversize) {
                    std::vector<uint8_t> tooLong = reply;
                    tooLong.resize(SnmpPacketSize + 100);
                    datagrams.push_back(std::move(tooLong));
                } else if (!withheld) {
                    datagrams.push_back(reply);
                }
                if (affected && m.duplicate && !withheld)
                    datagrams.push_back(reply);
                previousReply_ = std::move(reply);
            }
            if (affected && m.delayMs > 0) {
                const Clock::time_point due = Clock::now() + std::chrono::milliseconds(m.delayMs);
                for (auto& d : datagrams)
                    delayed_.emplace(due, Outgoing{std::move(d), source});
                entry.datagramsSent = static_cast<int32_t>(datagrams.size());
                datagrams.clear();
            }
        }
    }
    entry.datagramsSent += static_cast<int32_t>(datagrams.size());
    for (auto& d : datagrams)
        sendNow(Outgoing{std::move(d), source});
    writeLog(std::move(entry));
}

void TestAgent::setMisbehaviour(const Misbehaviour& misbehaviour)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.misbehaviour = misbehaviour;
    acceptedRequests_ = 0;
    answeredRequests_ = 0;
    previousReply_.clear();
}

Misbehaviour TestAgent::misbehaviour() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.misbehaviour;
}

void TestAgent::setReadOnly(bool readOnly)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.readOnly = readOnly;
}

void TestAgent::setCommunities(const std::vector<std::string>& communities, bool anyCommunity)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.communities = communities;
    config_.anyCommunity = anyCommunity;
}

void TestAgent::setAllowCreate(bool allowCreate)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.allowCreate = allowCreate;
}

void TestAgent::setV1Counter64(bool v1Counter64)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.v1Counter64 = v1Counter64;
}

void TestAgent::setHook(RequestHook hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.hook = std::move(hook);
}

void TestAgent::setVariable(const Variable& var)
{
    std::lock_guard<std::mutex> lock(mutex_);
    table_.put(var);
}

bool TestAgent::removeVariable(const OidVector& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return table_.erase(name);
}

bool TestAgent::variable(const OidVector& name, Variable* out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Variable* v = table_.find(name);
    if (v == nullptr)
        return false;
    if (out != nullptr)
        *out = *v;
    return true;
}

size_t TestAgent::tableSize() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return table_.size();
}

std::vector<LogEntry> TestAgent::log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

size_t TestAgent::logSize() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return logged_;
}

bool TestAgent::waitForLog(size_t entries, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return logChanged_.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                                [&] { return logged_ >= entries; });
}

void TestAgent::clearLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    logged_ = 0;
}

uint64_t TestAgent::datagramsSent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

}  // namespace testagent
