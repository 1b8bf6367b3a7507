// The session settings record. A caller zero-fills one, sets the members it
// wants and hands it to the session opener, which keeps its own copy.
#pragma once

#include <cstdint>

#include "snmp/pdu.h"

struct SnmpSession;

// Message versions.
constexpr int32_t SnmpVersion1 = 0;
constexpr int32_t SnmpVersion2c = 1;
constexpr int32_t SnmpVersionUsec = 2;  // user-based security

// Bits of securityFlags (sent as the qoS octet of the user-based mode).
constexpr uint8_t SecurityAuth = 0x01;
constexpr uint8_t SecurityPriv = 0x02;
constexpr uint8_t SecurityReportable = 0x04;

// Callback operations.
constexpr int32_t SnmpOpReceived = 1;
constexpr int32_t SnmpOpTimedOut = 2;

// Called by decodeMessage for every received message once the PDU tag is
// known: the whole datagram, the contents of its community (parameters)
// octet string inside it, the session and the PDU being decoded. A negative
// result drops the message; any other result is what decodeMessage returns.
// The hook may change the datagram in place.
typedef int32_t (*SnmpAuthHook)(uint8_t* message, int32_t messageLength, uint8_t* parameters,
                                int32_t parametersLength, SnmpSession* session, SnmpPdu* pdu);

// The session's callback: operation (SnmpOpReceived or SnmpOpTimedOut), the
// session, the request id, the PDU (released by the engine afterwards) and
// callbackArg. For received Responses and Reports, 1 takes the reply.
typedef int32_t (*SnmpCallback)(int32_t operation, SnmpSession* session, int32_t requestId, SnmpPdu* pdu,
                                void* callbackArg);

struct SnmpSession {
    int32_t retries;          // transmissions of a request in all; -1 means 6
    int32_t timeout;          // microseconds per transmission; -1 means 300000
    const char* peerName;     // dotted address or host name; may be null
    uint16_t remotePort;      // host order; 0 means 161
    uint16_t localPort;       // host order; 0 lets the system choose
    SnmpAuthHook authHook;    // null for plain communities
    SnmpCallback callback;
    void* callbackArg;
    int32_t version;          // SnmpVersion1, SnmpVersion2c or SnmpVersionUsec
    int32_t communityLength;  // 0 selects the default community
    const uint8_t* community; // caller: zero-terminated text; engine copy: exactly communityLength octets
    // User-based security.
    uint8_t authKey[16];
    uint8_t privKey[16];
    uint8_t securityFlags;  // SecurityAuth, SecurityPriv, SecurityReportable
    uint8_t agentId[12];
    uint32_t agentBoots;
    int32_t agentTime;
    int32_t timeOffset;  // agent clock minus local clock, seconds
    int32_t userNameLength;
    uint8_t userName[32];
    int32_t maxMessageSize;
    int32_t contextLength;
    uint8_t context[72];
};

// ---------------------------------------------------------------------------
// Sessions, outstanding requests and the engine's process-wide state.

// Engine error codes (LibraryState::lastError).
constexpr int32_t SnmpErrGeneric = -1;         // "Unknown Error"
constexpr int32_t SnmpErrBadLocalPort = -2;    // "Invalid local port"
constexpr int32_t SnmpErrUnknownHost = -3;     // "Unknown host"
constexpr int32_t SnmpErrUnknownSession = -4;  // "Unknown session"

// A clock reading: seconds since 1970 and microseconds (a multiple of 1000).
struct TimeOfDay {
    int32_t seconds;
    int32_t microseconds;
};

// One request that awaits a reply; owns its PDU.
struct PendingRequest {
    PendingRequest* next;
    int32_t requestId;
    int32_t sendCount;  // transmissions so far
    int32_t timeout;    // microseconds, the session's at the first send
    TimeOfDay sentAt;
    TimeOfDay expiresAt;
    SnmpPdu* pdu;
    // Sent to a broadcast address: any sender may answer it.
    bool anySender;
};

// The network side of a session.
struct SessionTransport {
    int32_t socket;           // -1 while there is none
    sockaddr_in peerAddress;  // default destination; address 0 without a peer name
    PendingRequest* pending;  // newest first
};

// One entry of the session list.
struct SessionSlot {
    SessionSlot* next;
    SnmpSession* session;  // the engine's copy: the session handle
    SessionTransport* transport;
    // A user-based session that has discovered its agent: from then on only
    // messages its hook accepts reach the callback.
    bool acceptedOnly;
};

struct LibraryState {
    SessionSlot* sessions;   // newest first
    int32_t lastRequestId;   // the id handed out last
    // False until the first id is handed out: that one is random (1 to
    // 2^31 - 1, from the entropy source), so that ids cannot be guessed by
    // whoever knows the module was just loaded; from then on they count up.
    bool requestIdsStarted;
    int32_t lastError;       // the code of the last failure; never reset
};

LibraryState& libraryState();

// Opens a session from the caller's settings, which are copied (texts too).
// Null when the open failed; lastError says why. Never ends the process.
SnmpSession* openSession(const SnmpSession* settings);
// 1 when closed (socket, pending requests and copies released without
// callbacks); 0 when the handle is not open (lastError -4).
int32_t closeSession(SnmpSession* session);
// The text of an engine error code.
const char* errorText(int32_t code);
// Encodes and sends the PDU; the request id on success (never 0), else 0.
// A GetRequest, GetNextRequest, SetRequest or GetBulkRequest that went out
// belongs to the engine from then on; any other PDU stays the caller's.
int32_t sendPdu(SnmpSession* session, SnmpPdu* pdu);
// The runtime clock with millisecond resolution; always 0.
int32_t timeOfDay(TimeOfDay* now);
// Unlinks the entry from the transport's list and releases it with its PDU.
void removePending(SessionTransport* transport, PendingRequest* entry);
// Releases every entry of the list with its PDU.
void releasePendingList(PendingRequest* head);

// Sends one datagram from the socket. A destination the platform refuses as
// a broadcast (EACCES) gets the socket's broadcast permission and the
// datagram once more; *broadcast then says that it went out as one. 0, or -1
// with errno set.
int sendDatagram(int32_t socket, const uint8_t* packet, int32_t length, const sockaddr_in& to, bool* broadcast);

// The slot of an open session, or null.
SessionSlot* findSessionSlot(const SnmpSession* session);
// Whether the engine keeps a pending entry for PDUs of this command.
bool isRememberedCommand(int32_t command);
// t + microseconds, normalized.
TimeOfDay addMicroseconds(TimeOfDay t, int64_t microseconds);
// a earlier than b.
bool isEarlier(const TimeOfDay& a, const TimeOfDay& b);
