// PDU and variable-binding records and the small operations on them.
//
// Records and buffers are allocated zero-filled with calloc and released with
// free, one by one. A PDU owns its bindings and its enterprise; a binding owns
// its name and value. Integers inside value buffers are machine integers; only
// the BER codec converts to and from wire octets.
#pragma once

#include <netinet/in.h>

#include <cstdint>

#include "snmp/ber.h"

// PDU tags.
constexpr int32_t PduGetRequest = 0xA0;
constexpr int32_t PduGetNextRequest = 0xA1;
constexpr int32_t PduResponse = 0xA2;
constexpr int32_t PduSetRequest = 0xA3;
constexpr int32_t PduTrap = 0xA4;  // SNMPv1 trap
constexpr int32_t PduGetBulkRequest = 0xA5;
constexpr int32_t PduReport = 0xA8;

// The user-based security parameters of a received message, as decoded by the
// user-based security mode; all zero otherwise. Holds no owned memory.
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
    uint8_t* digestPosition;  // where the digest lies in the receive buffer
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
struct VarBind {
    VarBind* next;
    uint32_t* name;
    int32_t nameLength;
    uint8_t type;
    uint8_t* value;
    int32_t valueLength;
};

struct SnmpPdu {
    sockaddr_in peerAddress;  // destination, or the sender of a received message
    int32_t command;          // PDU tag
    UsecParameters security;
    int32_t requestId;   // 0 until one is assigned
    int32_t errorStatus; // -1 until set (sent as 0)
    int32_t errorIndex;  // -1 until set (sent as 0)
    // Trap fields, used only when command is PduTrap.
    uint32_t* enterprise;
    int32_t enterpriseLength;
    sockaddr_in agentAddress;  // only the address part travels, network order
    int32_t genericTrap;
    int32_t specificTrap;
    uint32_t timeStamp;  // TimeTicks, hundredths of a second
    VarBind* variables;  // in message order
};

// A new PDU: all zero, then command, errorStatus -1 and errorIndex -1.
// Null when memory runs out.
SnmpPdu* createPdu(int32_t command);

// Appends a binding with a copy of the name, type ASN_NULL and no value.
// Returns the new binding, or null (the PDU unchanged) when pdu is null, count
// is negative, or memory runs out.
VarBind* addNullVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count);

// Deep copy of one binding with next cleared; null for null or when memory
// runs out (nothing is leaked then).
VarBind* cloneVar(const VarBind* var);

// Whether values of this type are both encoded and decoded as a stored value
// of their own (the number, string and OID types of the table above).
bool isStoredValueType(uint8_t type);

// Releases the PDU with its bindings and enterprise. Null is accepted.
void freePdu(SnmpPdu* pdu);

// Releases the binding and every binding behind it. Null is accepted.
void freeVarList(VarBind* var);

// The first binding from head on whose name is exactly oid[0..count).
VarBind* findVar(VarBind* head, const uint32_t* oid, int32_t count);

// Takes the binding out of the PDU's list without freeing or changing it.
// A binding that is not in the list leaves the list unchanged.
void unlinkVar(SnmpPdu* pdu, VarBind* var);
