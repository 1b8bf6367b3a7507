// The engine's own records: the open sessions, their transports and the
// requests that await replies, with the process-wide state that holds them.
// Private to the engine (the script layer sees only snmp/snmp.h).
#pragma once

#include <cstdint>

#include "platform/winsock.h"
#include "snmp/snmp.h"
#include "snmp/transport/time_of_day.h"

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
    SOCKET socket;            // INVALID_SOCKET while there is none
    Endpoint peerAddress;     // default destination; no family without a peer name
    PendingRequest* pending;  // newest first
    // Bound to a port of the system's choice and never given the broadcast
    // permission: the socket may outlive the session (LibraryState::kept).
    bool keepable;
    // A request was given up unanswered: its late replies may still come.
    bool unanswered;
    uint16_t boundPort;       // host order: the port a keepable socket is bound to
    // A datagram came from the peer's address and port (whatever it held):
    // the agent is there, even when nothing it sent was taken.
    bool peerHeard;
};

// The UDP socket a closed session leaves for the next one of its address
// family (bound to a port of the system's choice), so that a call does not
// create, bind and close one.
// Late replies of earlier calls are dropped by id and sender like any
// stranger's datagram.
struct KeptSocket {
    bool held;
    SOCKET socket;
    bool unanswered;  // read away what waits on it before it is used again
    // The port it holds for the module's life: a call that names it as its
    // local port is given this socket.
    uint16_t port;
};

// One entry of the session list.
struct SessionSlot {
    SessionSlot* next;
    SnmpSession* session;  // the engine's copy: the session handle
    SessionTransport* transport;
    // A user-based session that has discovered its agent: from then on only
    // messages its hook accepts reach the callback.
    bool acceptedOnly;
    // The agent's identifier, boots and clock came from the known agents,
    // not from a discovery of this session: a Report the check refuses may be
    // the agent saying they are out of date, and ends the wait.
    bool agentRecalled;
};

struct LibraryState {
    SessionSlot* sessions;   // newest first
    int32_t lastRequestId;   // the id handed out last
    // False until the first id is handed out: that one is random (1 to
    // 2^31 - 1, from the entropy source), so that ids cannot be guessed by
    // whoever knows the module was just loaded; from then on they count up.
    bool requestIdsStarted;
    int32_t lastError;       // the code of the last failure; never reset
    KeptSocket kept[2];      // IPv4's, IPv6's (keptSocketOf)
};

LibraryState& libraryState();

// The kept socket of the sessions whose peer has the endpoint's family (IPv4's without one).
KeptSocket& keptSocketOf(const Endpoint& peer);

// The slot of an open session, or null.
SessionSlot* findSessionSlot(const SnmpSession* session);
// Unlinks the entry from the transport's list and releases it with its PDU.
void removePending(SessionTransport* transport, PendingRequest* entry);
// Releases every entry of the list with its PDU.
void releasePendingList(PendingRequest* head);
