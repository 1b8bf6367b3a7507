// SNMPv3 messages of the user-based security model, sent and received: the
// security parameters, the privacy and the HMAC around the codec's framing.
#pragma once

#include <cstdint>

#include "snmp/codec/v3_message.h"
#include "snmp/security/usm/usm_parameters.h"
#include "snmp/snmp.h"

// Verdicts of receiveUsmMessage besides -1 (does not decode).
constexpr int32_t UsmAccepted = 0;
constexpr int32_t UsmRefused = 1;

// The message for pdu on an SNMPv3 session (its msgID is the request id).
// *length: capacity in, length out. 0, or -1 when it cannot be built (an
// SNMPv1 trap, an SNMPv2-Trap on a session whose engine is not the module's,
// no known engine, no keys, too large).
int32_t encodeUsmMessage(const SnmpSession* session, const SnmpPdu* pdu, uint8_t* packet, int32_t* length);

// The message around an encoded scoped PDU: encrypted with the privacy key
// (priv not None; the salt goes into *parameters), the parameters and the
// frame, the MAC field (parameters->authLength octets at *macAt) left as
// zeros for the caller to sign. *length: capacity in, length out. 0, or -1.
int32_t frameUsmMessage(const V3Header& header, UsmParameters* parameters, UsmPriv priv, const uint8_t* privKey,
                        const uint8_t* scoped, int32_t scopedLength, uint8_t* packet, int32_t* length, int32_t* macAt);

// The parameters and the frame around the scoped PDU as it travels (its
// ciphertext when encrypted), the MAC field left as zeros at *macAt; what
// frameUsmMessage ends with. 0, or -1.
int32_t frameUsmData(const V3Header& header, const UsmParameters& parameters, const uint8_t* data, int32_t dataLength,
                     bool encrypted, uint8_t* packet, int32_t* length, int32_t* macAt);

// Decodes and judges a received datagram for an SNMPv3 session. The message
// must be SNMPv3 with the user-based model and, unless the session is
// discovering, name the session's engine and user; an authenticated one must
// carry the right HMAC and lie within the engine's time window (an authentic
// one moves the session's view of the engine's boots and time forward); its
// level must be at least the session's, except for the Reports that discovery
// and a recalled engine need; the msgID must be the PDU's request id (a
// Report that could not name the request takes the msgID). UsmAccepted with
// pdu filled (command, request, bindings, security.qoS = msgFlags, engine);
// UsmRefused (saying why in diagnostics); -1 when it does not decode. The
// datagram is only read.
int32_t receiveUsmMessage(SnmpSession* session, SnmpPdu* pdu, const uint8_t* data, int32_t length);

// The user-based model's Report counters a manager acts on.
enum class UsmReport { None, UnsupportedSecLevel, NotInTimeWindow, UnknownUserName, UnknownEngineId, WrongDigest,
                       DecryptionError, Other };

// What a Report names in its first binding; None when pdu is not a Report.
UsmReport usmReportKind(const SnmpPdu* pdu);
