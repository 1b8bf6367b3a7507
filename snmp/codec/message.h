// Whole SNMP messages: a PDU framed as a message with a version and a
// community octet string, and a received datagram decoded into a PDU.
// Versions 0 (SNMPv1) and 1 (SNMPv2c) carry a community; version 2 carries
// the user-based security parameters in its place, which the security layer
// builds (signed_message.h) and judges (through the session's authHook).
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// Octets of a received community.
constexpr int32_t SnmpCommunityCapacity = 256;

// The message for pdu with the given version and community content (the
// community's octets, or a parameters block). *length is the capacity of
// packet on entry and the message length on success; *contentOffset (when not
// null) where the content lies in the message. Returns 0, or -1 when anything
// does not fit or cannot be encoded (then packet and *length are not to be
// used). The PDU is not changed; nothing is allocated.
int32_t encodeFramedMessage(int32_t version, const uint8_t* content, int32_t contentLength, const SnmpPdu* pdu,
                            uint8_t* packet, int32_t* length, int32_t* contentOffset);

// The message header at the cursor: the outer SEQUENCE header in the
// four-octet form (its length counting a PDU element of pduLength octets), the
// version and the content as an octet string. Returns the position behind it,
// where the PDU element goes, or null.
uint8_t* encodeFrameHeader(uint8_t* data, int32_t* remaining, int32_t version, const uint8_t* content,
                           int32_t contentLength, int32_t pduLength);

// One binding at the cursor: a SEQUENCE with the four-octet header holding the
// name and the value element of `type`. Returns the position behind it, or
// null (unsupported type, wrong integer width, malformed bit string, a value
// missing though valueLength says it has octets, or too little room).
uint8_t* encodeVarBind(uint8_t* data, int32_t* remaining, const uint32_t* name, int32_t nameLength, uint8_t type,
                       int32_t valueLength, const uint8_t* value);

// Decodes the datagram into pdu (which the caller created zeroed; bindings are
// appended to its list). session may be null; its authHook, when set, judges
// the message. Returns -1 when the datagram does not decode, the hook's
// result when negative, else the hook's result (0 without a hook). On failure
// the bindings decoded so far stay in the PDU, which the caller releases.
// Never reads outside data[0..length) and never writes into it.
int32_t decodeMessage(SnmpSession* session, SnmpPdu* pdu, const uint8_t* data, int32_t length);

// The PDU element alone (as SNMPv3's scoped PDU holds it). *length is the
// capacity of out on entry and the element's length on success. 0, or -1.
int32_t encodePdu(const SnmpPdu* pdu, uint8_t* out, int32_t* length);

// Decodes the PDU element at data (length octets available; octets behind
// the element are ignored) into pdu as decodeMessage does. 0, or -1.
int32_t decodePdu(const uint8_t* data, int32_t length, SnmpPdu* pdu);

// Outer SEQUENCE, version and community. *communityLength is the capacity of
// community on entry and the octets stored on return. The counter ends up
// bounded by the outer SEQUENCE. Returns the position of the PDU, or null.
const uint8_t* decodeMessageHeader(const uint8_t* data, int32_t* remaining, uint8_t* community,
                                   int32_t* communityLength, int32_t* version);

// The frame of one binding: the name (*nameLength: capacity in, entries out),
// the value's tag, its content length and the position of the value element.
// Returns the position behind the value's content, or null.
const uint8_t* decodeVarBind(const uint8_t* data, int32_t* remaining, uint32_t* name, int32_t* nameLength,
                             uint8_t* type, int32_t* valueLength, const uint8_t** value);
