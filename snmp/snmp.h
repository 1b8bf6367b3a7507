// The engine's public header: the records and operations the script layer
// uses. Everything else under snmp/ is the engine's own, in layers (see
// docs/ARCHITECTURE.md): base, codec, security, transport, discovery.
//
// The engine is plain records and free functions without exceptions. Records
// and buffers are allocated zero-filled and released one by one with the
// operations below. A PDU owns its bindings and its enterprise; a binding
// owns its name and value. Integers inside value buffers are machine
// integers; only the codec converts to and from wire octets.
#pragma once

#include <cstdint>

#include "platform/endpoint.h"

// ---- Value types: the BER tags bindings carry, under the names scripts use.
constexpr uint8_t ASN_BOOLEAN = 0x01;
constexpr uint8_t ASN_INTEGER = 0x02;
constexpr uint8_t ASN_BIT_STR = 0x03;
constexpr uint8_t ASN_OCTET_STR = 0x04;
constexpr uint8_t ASN_NULL = 0x05;
constexpr uint8_t ASN_OBJECT_ID = 0x06;
constexpr uint8_t ASN_SEQUENCE = 0x30;
constexpr uint8_t ASN_IPADDRESS = 0x40;
constexpr uint8_t ASN_COUNTER = 0x41;
constexpr uint8_t ASN_GAUGE = 0x42;
constexpr uint8_t ASN_TIMETICKS = 0x43;
constexpr uint8_t ASN_OPAQUE = 0x44;
constexpr uint8_t ASN_NSAP = 0x45;
constexpr uint8_t ASN_COUNTER64 = 0x46;
constexpr uint8_t ASN_UINTEGER = 0x47;
// SNMPv2 exception values (RFC 1905), carried like NULL.
constexpr uint8_t ASN_NOSUCHOBJECT = 0x80;
constexpr uint8_t ASN_NOSUCHINSTANCE = 0x81;
constexpr uint8_t ASN_ENDOFMIBVIEW = 0x82;
// The class and form bits of a tag.
constexpr uint8_t ASN_UNIVERSAL = 0x00;
constexpr uint8_t ASN_APPLICATION = 0x40;
constexpr uint8_t ASN_CONTEXT = 0x80;
constexpr uint8_t ASN_PRIVATE = 0xC0;
constexpr uint8_t ASN_PRIMITIVE = 0x00;
constexpr uint8_t ASN_CONSTRUCTOR = 0x20;  // a constructed element: its content is further elements

// ---- Error statuses of a response (RFC 1157, RFC 1905).
constexpr int32_t SNMP_ERR_NOERROR = 0;
constexpr int32_t SNMP_ERR_TOOBIG = 1;
constexpr int32_t SNMP_ERR_NOSUCHNAME = 2;
constexpr int32_t SNMP_ERR_BADVALUE = 3;
constexpr int32_t SNMP_ERR_READONLY = 4;
constexpr int32_t SNMP_ERR_GENERR = 5;
constexpr int32_t SNMP_ERR_NOACCESS = 6;
constexpr int32_t SNMP_ERR_WRONGTYPE = 7;
constexpr int32_t SNMP_ERR_WRONGLENGTH = 8;
constexpr int32_t SNMP_ERR_WRONGENCODING = 9;
constexpr int32_t SNMP_ERR_WRONGVALUE = 10;
constexpr int32_t SNMP_ERR_NOCREATION = 11;
constexpr int32_t SNMP_ERR_INCONSISTENTVALUE = 12;
constexpr int32_t SNMP_ERR_RESOURCEUNAVAILABLE = 13;
constexpr int32_t SNMP_ERR_COMMITFAILED = 14;
constexpr int32_t SNMP_ERR_UNDOFAILED = 15;
constexpr int32_t SNMP_ERR_AUTHORIZATIONERROR = 16;
constexpr int32_t SNMP_ERR_NOTWRITABLE = 17;
constexpr int32_t SNMP_ERR_INCONSISTENTNAME = 18;

// ---- Generic trap types (RFC 1157).
constexpr int32_t SNMP_TRAP_COLDSTART = 0;
constexpr int32_t SNMP_TRAP_WARMSTART = 1;
constexpr int32_t SNMP_TRAP_LINKDOWN = 2;
constexpr int32_t SNMP_TRAP_LINKUP = 3;
constexpr int32_t SNMP_TRAP_AUTHFAIL = 4;
constexpr int32_t SNMP_TRAP_EGPNEIGHBORLOSS = 5;
constexpr int32_t SNMP_TRAP_ENTERPRISESPECIFIC = 6;

// The most sub-identifiers of any object identifier the engine writes or
// reads, names and values alike: the 128 that SNMP allows (RFC 2578). Longer
// ones are refused, never cut.
constexpr int32_t SnmpOidCapacity = 128;

// ---- PDU tags.
constexpr int32_t PduGetRequest = 0xA0;
constexpr int32_t PduGetNextRequest = 0xA1;
constexpr int32_t PduResponse = 0xA2;
constexpr int32_t PduSetRequest = 0xA3;
constexpr int32_t PduTrap = 0xA4;  // SNMPv1 trap
constexpr int32_t PduGetBulkRequest = 0xA5;
constexpr int32_t PduInform = 0xA6;  // InformRequest: a notification answered by a Response
constexpr int32_t PduV2Trap = 0xA7;  // SNMPv2-Trap: a notification nobody answers
constexpr int32_t PduReport = 0xA8;

// A 64-bit counter as two 32-bit words, high word first. This is also the
// stored value of an ASN_COUNTER64 binding.
struct Counter64 {
    uint32_t high;
    uint32_t low;
};

// The user-based security parameters of a received message, as decoded by the
// user-based security mode; all zero otherwise. Holds no owned memory and
// nothing that points into the received datagram.
struct UsecParameters {
    uint8_t model;
    uint8_t qoS;
    uint8_t agentId[12];
    uint32_t agentBoots;
    int32_t agentTime;
    int32_t maxSize;
    int32_t userNameLength;
    uint8_t userName[16];
    int32_t authLength;
    uint8_t authDigest[16];
    int32_t digestOffset;  // where the digest lies in the parameters string; 0 when there is none
    int32_t contextLength;
    uint8_t context[40];
};

// One variable binding. The value is stored by type:
//   ASN_INTEGER                      one int32_t, valueLength 4
//   ASN_COUNTER, ASN_GAUGE,
//   ASN_TIMETICKS, ASN_UINTEGER      one uint32_t, valueLength 4
//   ASN_COUNTER64                    a Counter64 (high, low), valueLength 8
//   ASN_OCTET_STR, ASN_IPADDRESS,
//   ASN_OPAQUE, ASN_NSAP             the octets (no terminator), valueLength = count
//   ASN_BIT_STR                      octets, the first the unused-bit count
//   ASN_OBJECT_ID                    uint32_t sub-identifiers, valueLength = 4 * count
//   ASN_NULL and the exceptions      no value
//   any other primitive type         (decoded only) the octets, as an octet string
// A decoded octet string of length 0 has a one-octet zero buffer, so a
// present value is never confused with a missing one. A decoded binding has
// no value when its value does not read as its type (an integer beyond the
// type's range, an empty or overlong object identifier) or is constructed.
// What the security parameters of a received SNMPv3 message name: the
// authoritative engine's identifier, boots and time, and the message id.
struct UsmEngineView {
    uint8_t engineId[32];
    int32_t engineIdLength;
    uint32_t boots;
    int32_t time;
    int32_t msgId;
};

// Largest message sent or received, and the size of the encoder's work area.
constexpr int32_t SnmpPacketSize = 4500;

constexpr uint8_t PackedName = 0x01;
constexpr uint8_t PackedValue = 0x02;

struct VarBind {
    VarBind* next;
    uint32_t* name;
    int32_t nameLength;
    uint8_t type;
    // PackedName, PackedValue: that part lies in the binding's own block
    // (newVar) and goes with it; otherwise each is a block of its own.
    uint8_t packed;
    uint8_t* value;
    int32_t valueLength;
};

struct SnmpPdu {
    Endpoint peerAddress;     // destination, or the sender of a received message
    int32_t command;          // PDU tag
    UsecParameters security;
    int32_t requestId;   // 0 until one is assigned
    // A GetBulkRequest carries its non-repeaters and max-repetitions in these two (RFC 3416).
    int32_t errorStatus; // -1 until set (sent as 0)
    int32_t errorIndex;  // -1 until set (sent as 0)
    // Trap fields, used only when command is PduTrap.
    uint32_t* enterprise;
    int32_t enterpriseLength;
    uint8_t agentAddress[4];   // an IPv4 address, network order
    int32_t genericTrap;
    int32_t specificTrap;
    uint32_t timeStamp;  // TimeTicks, hundredths of a second
    VarBind* variables;  // in message order
    // SNMPv3: what a received message named of its sender's engine; all zero otherwise.
    UsmEngineView engine;
    // Octets of the datagram a received PDU came in; 0 for one made here.
    int32_t messageLength;
};

// ---- The session settings record. A caller zero-fills one, sets the members
// it wants and hands it to openSession, which keeps its own copy.
struct SnmpSession;

// Message versions.
constexpr int32_t SnmpVersion1 = 0;
constexpr int32_t SnmpVersion2c = 1;
constexpr int32_t SnmpVersionUsec = 2;  // user-based security
constexpr int32_t SnmpVersion3 = 3;     // SNMPv3, user-based security model (RFC 3414)

// The engine's SNMPv3 state of a session (user, keys, what it knows of the
// agent's engine); null for the other versions and in a caller's settings.
struct UsmSession;

// Bits of securityFlags (sent as the qoS octet of the user-based mode).
constexpr uint8_t SecurityAuth = 0x01;
constexpr uint8_t SecurityPriv = 0x02;
constexpr uint8_t SecurityReportable = 0x04;

// Callback operations.
constexpr int32_t SnmpOpReceived = 1;
constexpr int32_t SnmpOpTimedOut = 2;
// A datagram too long to receive (more than SnmpPacketSize octets) came from
// the peer of an SNMPv1 or SNMPv2c session: its pending requests end with it.
constexpr int32_t SnmpOpTooLong = 3;

// Called by decodeMessage for every received message once the PDU tag is
// known: the whole datagram, the contents of its community (parameters)
// octet string inside it, the session and the PDU being decoded. A negative
// result drops the message; any other result is what decodeMessage returns.
typedef int32_t (*SnmpAuthHook)(const uint8_t* message, int32_t messageLength, const uint8_t* parameters,
                                int32_t parametersLength, SnmpSession* session, SnmpPdu* pdu);

// The session's callback: operation (SnmpOpReceived or SnmpOpTimedOut), the
// session, the request id, the PDU (released by the engine afterwards) and
// callbackArg. Only Responses and Reports with a pending request's id are
// received (any other PDU is dropped with a diagnostic); 1 takes the reply.
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
    int32_t version;          // SnmpVersion1, SnmpVersion2c, SnmpVersionUsec or SnmpVersion3
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
    UsmSession* usm;  // the engine's; a caller leaves it null
    // SNMPv3 traps: the module's own engine is the authoritative one, so the
    // open discovers nothing and the keys are localized to the module's id.
    bool localEngine;
};

// Engine error codes (the last one is kept by the engine).
constexpr int32_t SnmpErrGeneric = -1;         // "Unknown Error"
constexpr int32_t SnmpErrBadLocalPort = -2;    // "Invalid local port"
constexpr int32_t SnmpErrUnknownHost = -3;     // "Unknown host"
constexpr int32_t SnmpErrUnknownSession = -4;  // "Unknown session"

// ---- PDUs and bindings.

// A new PDU: all zero, then command, errorStatus -1 and errorIndex -1.
// Null when memory runs out.
SnmpPdu* createPdu(int32_t command);

// A binding of its own (next null) with copies of the name and of `length`
// value octets of the given type; a null value makes it valueless (a NULL
// binding). Null when an argument is invalid or memory runs out. Callers that
// build a long list link these themselves, each in constant time.
VarBind* newVar(const uint32_t* oid, int32_t count, uint8_t type, const void* value, int32_t length);

// Appends a binding with a copy of the name, type ASN_NULL and no value.
// Returns the new binding, or null (the PDU unchanged) when pdu is null, count
// is negative, or memory runs out.
VarBind* addNullVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count);

// Appends a binding with copies of the name and of `length` value octets of
// the given type; the value is present (a one-octet zero buffer) even when it
// is empty. Null, the PDU unchanged, when memory runs out.
VarBind* addVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count, uint8_t type, const void* value, int32_t length);

// Gives a trap PDU its own copy of the enterprise; false, the PDU unchanged,
// when memory runs out.
bool copyEnterprise(SnmpPdu* pdu, const uint32_t* oid, int32_t count);

// Deep copy of one binding with next cleared; null for null or when memory
// runs out (nothing is leaked then).
VarBind* cloneVar(const VarBind* var);

// Releases the PDU with its bindings and enterprise. Null is accepted.
void freePdu(SnmpPdu* pdu);

// Releases the binding and every binding behind it. Null is accepted.
void freeVarList(VarBind* var);

// The first binding from head on whose name is exactly oid[0..count).
VarBind* findVar(VarBind* head, const uint32_t* oid, int32_t count);

// Takes the binding out of the PDU's list without freeing or changing it.
// A binding that is not in the list leaves the list unchanged.
void unlinkVar(SnmpPdu* pdu, VarBind* var);

// ---- Sessions.

// What a community text selects. After an optional leading "+" (SNMPv2c), a
// "/" begins the user-based mode's security string, and a "#" followed
// somewhere by a "/" SNMPv3's "#user/auth/priv/context"; anything else
// ("#public" too) is a community. Null or empty is a community.
enum class CommunityKind { Community, UserBased, Usm };
CommunityKind communityKind(const uint8_t* text, int32_t length);

// Opens a session from the caller's settings, which are copied (texts too).
// The community selects the mode (communityKind). In the user-based mode the
// security string is checked before anything is sent, then the agent is
// discovered unless a recent call learned it; SNMPv3's form is read and
// checked the same way, then the agent's engine discovered or recalled.
// Null when the open failed; the last engine error says why. Never ends the
// process.
SnmpSession* openSession(const SnmpSession* settings);
// 1 when closed (socket, pending requests and copies released without
// callbacks); 0 when the handle is not open (error -4).
int32_t closeSession(SnmpSession* session);
// The text of an engine error code.
const char* errorText(int32_t code);
// Closes the UDP socket that closed sessions leave for the next one (the
// module's exit does; the module's unload too).
void releaseKeptSockets();
// Turns the dump of every datagram sent and received (to standard error, in
// hexadecimal) on or off; off when the module loads.
void setDatagramDump(bool on);
// Encodes and sends the PDU; the request id on success (never 0), else 0.
// A GetRequest, GetNextRequest, SetRequest, GetBulkRequest or InformRequest
// that went out belongs to the engine from then on; any other PDU stays the
// caller's.
int32_t sendPdu(SnmpSession* session, SnmpPdu* pdu);

// ---- The synchronous request.

// Installs the synchronous reply callback and its wait record in a settings
// record (before the open) and clears the wait record. Answers the same record.
SnmpSession* syncInstall(SnmpSession* settings);

// syncRequest's answer when an agent (or SNMPv3 engine) that the open
// recalled from an earlier call answered nothing at all: the same end as a
// discovery without a reply, and said the same way ("No Response from PEER").
constexpr int32_t SyncAgentSilent = 3;
// syncRequest's answer when the reply was too long to receive (SnmpOpTooLong).
constexpr int32_t SyncReplyTooLong = 4;

// Sends pdu (which the engine takes over in every case) and waits. 0: a reply
// arrived (*response, when not null, is the caller's); 1: an error (no PDU,
// the send failed, the wait failed, copying the reply failed, or the PDU is of
// a command that is never answered); 2: timed out after the last transmission;
// SyncAgentSilent: timed out, and the session's agent was only recalled;
// SyncReplyTooLong: the reply could not be received whole.
int32_t syncRequest(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response);

// Agents found to refuse GetBulk (an error status, or silence to it while
// GetNext is answered), per address and port of an open session, kept until
// the module unloads in a small table whose least recently used entry gives
// way. Nothing is kept for a handle that is not open.
bool agentRefusesBulk(const SnmpSession* session);
void rememberBulkRefusal(const SnmpSession* session);

// ---- The module's own SNMPv3 engine, the authoritative one of its traps.

// Engine identifiers are 5 to 32 octets (RFC 3411).
constexpr int32_t SnmpMinEngineIdLength = 5;
constexpr int32_t SnmpMaxEngineIdLength = 32;

// The identifier (SnmpMaxEngineIdLength octets of room); its length.
int32_t getLocalEngineId(uint8_t* engineId);
// Takes another identifier for the rest of the load; 0, or -1 for a length
// outside 5 to 32.
int32_t setLocalEngineId(const uint8_t* engineId, int32_t length);
