// The message a session sends: its PDU framed with the session's community,
// or in the user-based mode with the security parameters in its place and,
// when the session authenticates, signed with the keyed digest.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// Encodes pdu for session into packet. *length is the capacity of packet on
// entry and the message length on success. flag is handed to
// buildUsecParameters (callers pass 0). Returns 0, or -1 when anything does
// not fit or cannot be encoded (then packet and *length are not to be used).
// The PDU is not changed; nothing is allocated.
int32_t encodeMessage(const SnmpSession* session, const SnmpPdu* pdu, uint8_t* packet, int32_t* length, int32_t flag);

// The message header at the cursor: the outer SEQUENCE header in the
// four-octet form (its length counting a PDU element of pduLength octets), the
// version and the community (or the parameters block for version 2). Returns
// the position behind it, where the PDU element goes, or null.
uint8_t* encodeMessageHeader(uint8_t* data, int32_t* remaining, const SnmpSession* session, int32_t pduLength,
                             int32_t flag);

// When the session authenticates its messages (version 2 with SecurityAuth),
// the 16-octet digest field inside its parameters block: the octets that end
// contextLength octets before the block's end. Null when the session does not
// authenticate or the block cannot hold the field.
uint8_t* messageDigestField(const SnmpSession* session, uint8_t* parameters, int32_t parametersLength);
