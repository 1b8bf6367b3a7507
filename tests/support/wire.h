// Messages as octet vectors, for the tests' peers and checks.
#pragma once

#include <cstdint>
#include <vector>

#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"

// The message encodeMessage makes of pdu for session (flag as encodeMessage
// takes it); empty when it cannot be encoded.
inline std::vector<uint8_t> encodedMessage(const SnmpSession& session, const SnmpPdu* pdu, int32_t flag = 0)
{
    std::vector<uint8_t> out(SnmpPacketSize);
    int32_t length = SnmpPacketSize;
    if (encodeMessage(&session, pdu, out.data(), &length, flag) != 0)
        return {};
    out.resize(static_cast<size_t>(length));
    return out;
}

// The same for a PDU made only to be encoded: it is released.
inline std::vector<uint8_t> encodeAndFree(const SnmpSession& session, SnmpPdu* pdu, int32_t flag = 0)
{
    std::vector<uint8_t> out = encodedMessage(session, pdu, flag);
    freePdu(pdu);
    return out;
}
