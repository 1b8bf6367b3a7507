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
