// The SNMPv3 message (RFC 3412): version 3, the global header, the security
// parameters as an octet string, and the scoped PDU (context engine, context
// name, PDU) or its encryption as an octet string. Only the framing: what the
// security parameters hold and how they are checked is the security layer's.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

constexpr int32_t SnmpV3MessageVersion = 3;
constexpr int32_t UsmSecurityModel = 3;

// msgGlobalData.
struct V3Header {
    int32_t msgId;
    int32_t maxSize;
    uint8_t flags;  // SecurityAuth, SecurityPriv, SecurityReportable
    int32_t securityModel;
};

// A received message, its parts pointing into the datagram.
struct V3Message {
    V3Header header;
    const uint8_t* parameters;  // the content of msgSecurityParameters
    int32_t parametersLength;
    const uint8_t* data;        // the ScopedPDU element, or the ciphertext
    int32_t dataLength;
    bool encrypted;
};

// The whole message into packet (*length: capacity in, message length out),
// with data as the ScopedPDU element or (encrypted) the ciphertext to be
// carried as an octet string. *parametersOffset: where the parameters'
// content lies in the packet. 0, or -1 when it does not fit.
int32_t encodeV3Message(const V3Header& header, const uint8_t* parameters, int32_t parametersLength,
                        const uint8_t* data, int32_t dataLength, bool encrypted, uint8_t* packet, int32_t* length,
                        int32_t* parametersOffset);

// The ScopedPDU element into out (*length: capacity in, length out). 0, or -1.
int32_t encodeScopedPdu(const uint8_t* engineId, int32_t engineIdLength, const uint8_t* context,
                        int32_t contextLength, const SnmpPdu* pdu, uint8_t* out, int32_t* length);

// The version of a message (SEQUENCE and its first INTEGER), or -1.
int32_t messageVersion(const uint8_t* data, int32_t length);

// Splits a received SNMPv3 message into its parts. 0, or -1 when it is not
// one or does not decode. Never reads outside data[0..length).
int32_t decodeV3Message(const uint8_t* data, int32_t length, V3Message* message);

// The ScopedPDU element: its context engine and name into the caller's
// buffers (*...Length: capacity in, octets out) and its PDU into pdu. 0, or -1.
int32_t decodeScopedPdu(const uint8_t* data, int32_t length, uint8_t* engineId, int32_t* engineIdLength,
                        uint8_t* context, int32_t* contextLength, SnmpPdu* pdu);
