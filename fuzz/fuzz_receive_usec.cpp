// The receive path of a user-based session that holds keys, on any datagram:
// decodeMessage with usecAuthenticate as the hook, then what readSockets does
// with the result (the synchronous request's deep copy of a reply) and
// freePdu. Checked on every input:
//   - the result is -1 or a hook code, never a negative hook code;
//   - the hook changes the datagram only in the 16 digest octets, and leaves
//     it as received whenever it accepts it;
//   - the session's agent, user, context and key never change; its clock
//     moves only forward and only for a message whose digest verifies
//     (checked here independently of the hook);
//   - an accepted Response carries a digest that verifies;
//   - decoded fields stay within their capacities;
//   - the reply copy equals the PDU and shares no memory with it;
//   - an accepted message encodes again (in the agent's role) into one that is
//     accepted and decodes to the same PDU;
//   - the real readSockets, fed the datagram over a loopback socket, agrees:
//     the awaited request gets the reply exactly when the message was accepted.
#include <fcntl.h>

#include <memory>

#include "fuzz_support.h"
#include "platform/winsock.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/receive.h"
#include "snmp/transport/sync_request.h"
#include "usec_fixture.h"

namespace {

struct PduFree {
    void operator()(SnmpPdu* pdu) const { freePdu(pdu); }
};
using Pdu = std::unique_ptr<SnmpPdu, PduFree>;

const uint8_t* key;
SnmpSession base;  // the manager's session as every input finds it

void checkSameIdentity(const SnmpSession& session)
{
    FUZZ_CHECK(session.version == base.version);
    FUZZ_CHECK(session.securityFlags == base.securityFlags);
    FUZZ_CHECK(session.authHook == base.authHook);
    FUZZ_CHECK(std::memcmp(session.agentId, base.agentId, sizeof base.agentId) == 0);
    FUZZ_CHECK(std::memcmp(session.authKey, base.authKey, sizeof base.authKey) == 0);
    FUZZ_CHECK(std::memcmp(session.privKey, base.privKey, sizeof base.privKey) == 0);
    FUZZ_CHECK(session.userNameLength == base.userNameLength);
    FUZZ_CHECK(std::memcmp(session.userName, base.userName, sizeof base.userName) == 0);
    FUZZ_CHECK(session.maxMessageSize == base.maxMessageSize);
    FUZZ_CHECK(session.contextLength == base.contextLength);
    FUZZ_CHECK(std::memcmp(session.context, base.context, sizeof base.context) == 0);
}

bool clockMoved(const SnmpSession& session)
{
    return session.agentBoots != base.agentBoots || session.agentTime != base.agentTime ||
           session.timeOffset != base.timeOffset;
}

// Whether the datagram as received carries, at offset, the digest that the
// session's key gives: computed here from the received octets alone.
bool digestVerifies(const uint8_t* data, int32_t length, int32_t offset)
{
    if (offset < 0 || offset + 16 > length)
        return false;
    std::vector<uint8_t> copy(data, data + length);
    std::memcpy(copy.data() + offset, key, 16);
    uint8_t digest[16];
    messageDigest(copy.data(), length, key, digest);
    return std::memcmp(digest, data + offset, 16) == 0;
}

// Where the parameters octet string's content begins in a datagram, or -1.
int32_t parametersOffset(const uint8_t* data, int32_t length)
{
    uint8_t parameters[SnmpCommunityCapacity];
    int32_t parametersLength = SnmpCommunityCapacity;
    int32_t version = 0;
    int32_t remaining = length;
    const uint8_t* pduStart = decodeMessageHeader(data, &remaining, parameters, &parametersLength, &version);
    return pduStart != nullptr ? static_cast<int32_t>(pduStart - data) - parametersLength : -1;
}

// The reply copy: the same message, no memory shared with the received PDU.
// The reply taken by the synchronous callback: every field as it was, the
// bindings and enterprise moved over, the engine's record left without them.
void checkTaken(const SnmpPdu& before, const SnmpPdu* pdu, const SnmpPdu* taken)
{
    FUZZ_CHECK(taken != pdu);
    FUZZ_CHECK(taken->command == before.command);
    FUZZ_CHECK(taken->requestId == before.requestId);
    FUZZ_CHECK(taken->errorStatus == before.errorStatus);
    FUZZ_CHECK(taken->errorIndex == before.errorIndex);
    FUZZ_CHECK(taken->security.digestOffset == before.security.digestOffset);
    FUZZ_CHECK(taken->security.qoS == before.security.qoS);
    FUZZ_CHECK(taken->security.agentBoots == before.security.agentBoots);
    FUZZ_CHECK(taken->security.agentTime == before.security.agentTime);
    FUZZ_CHECK(taken->variables == before.variables && taken->enterprise == before.enterprise);
    FUZZ_CHECK(pdu->variables == nullptr && pdu->enterprise == nullptr && pdu->enterpriseLength == 0);
}

bool reencodable(const SnmpPdu* pdu)
{
    for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        if (!isDecodable(var->type))
            return false;
    }
    return true;
}

// An accepted message, encoded again by the agent with the clock it sent,
// is accepted again and decodes to the same PDU.
void checkRoundTrip(const SnmpPdu* pdu)
{
    if (!reencodable(pdu))
        return;
    SnmpSession role = fixture::agent(key, pdu->security.qoS, pdu->security.agentBoots, pdu->security.agentTime);
    uint8_t packet[SnmpPacketSize];
    int32_t length = sizeof packet;
    if (encodeMessage(&role, pdu, packet, &length, 1) != 0)
        return;  // a value the encoder cannot write back, or too large
    std::unique_ptr<uint8_t[]> exact(new uint8_t[static_cast<size_t>(length)]);
    std::memcpy(exact.get(), packet, static_cast<size_t>(length));
    SnmpSession session = base;
    Pdu again(zeroPdu());
    FUZZ_CHECK(decodeMessage(&session, again.get(), exact.get(), length) == UsecAccepted);
    checkSamePdu(pdu, again.get());
    FUZZ_CHECK(std::memcmp(exact.get(), packet, static_cast<size_t>(length)) == 0);
}

// What readSockets does with a decoded message, the session's callback being
// the synchronous request's. Before discovery every non-negative result
// reaches the callback, so every decoded PDU goes through the copy here.
void dispatch(SnmpSession* session, SnmpPdu* pdu)
{
    SyncWait wait{};
    wait.waiting = 1;
    if (pdu->command == PduResponse || pdu->command == PduReport) {
        wait.requestId = pdu->requestId;
        const SnmpPdu before = *pdu;
        FUZZ_CHECK(syncCallback(SnmpOpReceived, session, pdu->requestId, pdu, &wait) == 1);
        FUZZ_CHECK(wait.waiting == 0);
        if (wait.status == 0) {
            FUZZ_CHECK(wait.response != nullptr);
            checkTaken(before, pdu, wait.response);
        }
        // What the callback took is the caller's: back to the record, which the engine releases.
        if (wait.response != nullptr) {
            pdu->variables = wait.response->variables;
            pdu->enterprise = wait.response->enterprise;
            pdu->enterpriseLength = wait.response->enterpriseLength;
            wait.response->variables = nullptr;
            wait.response->enterprise = nullptr;
        }
        freePdu(wait.response);
        // A reply for some other request is not taken.
        SyncWait other{};
        other.waiting = 1;
        other.requestId = static_cast<int32_t>(static_cast<uint32_t>(pdu->requestId) + 1u);
        FUZZ_CHECK(syncCallback(SnmpOpReceived, session, pdu->requestId, pdu, &other) == 0);
        FUZZ_CHECK(other.waiting == 1 && other.response == nullptr);
    } else {
        // Requests and traps reach the callback with their own id; no copy.
        wait.requestId = static_cast<int32_t>(static_cast<uint32_t>(pdu->requestId) + 1u);
        FUZZ_CHECK(syncCallback(SnmpOpReceived, session, pdu->requestId, pdu, &wait) == 0);
        FUZZ_CHECK(wait.response == nullptr);
    }
}

// The real readSockets over loopback: a user-based session (opened plain,
// then given the manager's keys, as after discovery) and a peer socket that
// sends it the datagram.
struct Loopback {
    SnmpSession* handle = nullptr;
    int peer = -1;
    sockaddr_in handleAddress{};
};

Loopback* loopback()
{
    static Loopback* rig = [] {
        auto* r = new Loopback;
        r->peer = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        FUZZ_CHECK(r->peer >= 0);
        FUZZ_CHECK(bind(r->peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        FUZZ_CHECK(getsockname(r->peer, reinterpret_cast<sockaddr*>(&address), &size) == 0);
        FUZZ_CHECK(fcntl(r->peer, F_SETFL, O_NONBLOCK) == 0);
        SnmpSession settings{};
        settings.peerName = "127.0.0.1";
        settings.remotePort = ntohs(address.sin_port);
        settings.community = reinterpret_cast<const uint8_t*>("public");
        settings.communityLength = 6;
        settings.retries = 1;
        settings.timeout = 10000000;
        syncInstall(&settings);
        r->handle = openSession(&settings);
        FUZZ_CHECK(r->handle != nullptr);
        SessionSlot* slot = findSessionSlot(r->handle);
        slot->acceptedOnly = true;
        size = sizeof r->handleAddress;
        FUZZ_CHECK(getsockname(slot->transport->socket, reinterpret_cast<sockaddr*>(&r->handleAddress), &size) == 0);
        r->handleAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return r;
    }();
    return rig;
}

void drain(int sock)
{
    uint8_t buffer[SnmpPacketSize + 1];
    while (recv(sock, buffer, sizeof buffer, 0) >= 0) {
    }
}

// awaitedId: the request id the session waits for (a get request is sent
// with it), or none. accepted: whether the direct decode accepted a reply
// with that id. after: the session as the direct decode left it.
void throughReadSockets(const uint8_t* data, int32_t length, bool awaited, int32_t awaitedId, bool accepted,
                        const SnmpSession& after)
{
    Loopback* rig = loopback();
    SnmpSession* handle = rig->handle;
    // The keys and clock of the manager's session; the handle keeps its own
    // community copy, peer, callback and time-out.
    handle->version = base.version;
    handle->authHook = base.authHook;
    handle->securityFlags = base.securityFlags;
    std::memcpy(handle->authKey, base.authKey, 16);
    std::memcpy(handle->agentId, base.agentId, 12);
    handle->agentBoots = base.agentBoots;
    handle->agentTime = base.agentTime;
    handle->timeOffset = base.timeOffset;
    handle->userNameLength = base.userNameLength;
    std::memcpy(handle->userName, base.userName, sizeof base.userName);
    handle->maxMessageSize = base.maxMessageSize;
    handle->contextLength = base.contextLength;
    std::memcpy(handle->context, base.context, sizeof base.context);

    SyncWait& wait = syncWaitRecord();
    std::memset(&wait, 0, sizeof wait);
    wait.status = -1;
    if (awaited) {
        SnmpPdu* request = createPdu(PduGetRequest);
        request->requestId = awaitedId != 0 ? awaitedId : 1;
        FUZZ_CHECK(sendPdu(handle, request) == request->requestId);
        wait.requestId = request->requestId;
        wait.waiting = 1;
    }
    drain(rig->peer);

    FUZZ_CHECK(sendto(rig->peer, data, static_cast<size_t>(length), 0,
                      reinterpret_cast<const sockaddr*>(&rig->handleAddress), sizeof rig->handleAddress) == length);
    SessionSlot* slot = findSessionSlot(handle);
    WinFdSet readSet;
    winFdZero(&readSet);
    winFdSet(slot->transport->socket, &readSet);
    const timeval limit = {5, 0};
    FUZZ_CHECK(winSelect(slot->transport->socket + 1, &readSet, nullptr, nullptr, &limit) == 1);
    readSockets(&readSet);

    const bool answered = wait.response != nullptr;
    FUZZ_CHECK(answered == (awaited && accepted && awaitedId != 0));
    FUZZ_CHECK((slot->transport->pending == nullptr) == (!awaited || answered));
    if (answered) {
        FUZZ_CHECK(wait.status == 0 && wait.waiting == 0);
        FUZZ_CHECK(wait.response->requestId == awaitedId);
    }
    FUZZ_CHECK(handle->agentBoots == after.agentBoots);
    FUZZ_CHECK(handle->agentTime == after.agentTime);
    FUZZ_CHECK(handle->timeOffset == after.timeOffset);
    freePdu(wait.response);
    std::memset(&wait, 0, sizeof wait);
    releasePendingList(slot->transport->pending);
    slot->transport->pending = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        key = fixture::setUp();
        base = fixture::manager(key);
        return true;
    }();
    (void)ready;

    // readSockets reads at most this much of a datagram.
    const int32_t length = static_cast<int32_t>(size < SnmpPacketSize ? size : SnmpPacketSize);
    // An exactly sized copy, which the receive path must leave as it was.
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[length > 0 ? static_cast<size_t>(length) : 1]);
    if (length > 0)
        std::memcpy(datagram.get(), data, static_cast<size_t>(length));

    SnmpSession session = base;
    Pdu pdu(zeroPdu());
    pdu->peerAddress.family = EndpointIPv4;
    pdu->peerAddress.address[0] = 127;
    pdu->peerAddress.address[3] = 1;
    const int32_t result = decodeMessage(&session, pdu.get(), datagram.get(), length);
    FUZZ_CHECK(result == -1 || result == UsecAccepted || (result >= UsecUnsupportedQoS && result <= UsecBadParameters));

    const UsecParameters& security = pdu->security;
    int32_t digestOffset = -1;
    if (security.digestOffset != 0) {
        digestOffset = parametersOffset(datagram.get(), length) + security.digestOffset;
        FUZZ_CHECK(digestOffset > 0 && digestOffset + 16 <= length);
    }
    FUZZ_CHECK(length == 0 || std::memcmp(datagram.get(), data, static_cast<size_t>(length)) == 0);

    checkSameIdentity(session);
    if (clockMoved(session)) {
        FUZZ_CHECK(digestVerifies(data, length, digestOffset));
        FUZZ_CHECK(session.agentBoots > base.agentBoots ||
                   (session.agentBoots == base.agentBoots && session.agentTime > base.agentTime));
        FUZZ_CHECK(session.agentBoots == security.agentBoots && session.agentTime == security.agentTime);
        FUZZ_CHECK(std::memcmp(datagram.get(), data, static_cast<size_t>(length)) == 0);
    }

    if (result >= UsecAccepted && result < UsecBadParameters) {
        // The parameters decoded.
        FUZZ_CHECK(security.model == 1);
        FUZZ_CHECK(security.userNameLength >= 1 && security.userNameLength <= 16);
        FUZZ_CHECK(security.contextLength >= 0 && security.contextLength <= 40);
        FUZZ_CHECK(security.maxSize >= 484 && security.maxSize <= 65535);
        FUZZ_CHECK((security.digestOffset != 0) == ((security.qoS & SecurityAuth) != 0));
    }
    if (result == UsecAccepted) {
        FUZZ_CHECK(std::memcmp(datagram.get(), data, static_cast<size_t>(length)) == 0);
        if ((security.qoS & SecurityAuth) != 0)
            FUZZ_CHECK(digestVerifies(data, length, digestOffset));
        else
            FUZZ_CHECK(pdu->command == PduReport);  // the session asks for authentication
    }
    if (result >= 0) {
        checkDecodedBindings(pdu.get());
        dispatch(&session, pdu.get());
        if (result == UsecAccepted)
            checkRoundTrip(pdu.get());
    }

    const bool reply = result >= 0 && (pdu->command == PduResponse || pdu->command == PduReport);
    // The session authenticates, so after discovery an unauthenticated Report
    // is dropped like a message the check refused.
    const bool protectedReply = (security.qoS & SecurityAuth) != 0;
    throughReadSockets(data, length, reply, reply ? pdu->requestId : 0, result == UsecAccepted && protectedReply,
                       session);
    return 0;
}
