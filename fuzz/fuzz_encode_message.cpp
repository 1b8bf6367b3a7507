// encodeMessage on PDUs built from fuzzer bytes: it never writes outside the
// packet (an exactly sized heap block), it succeeds exactly when the capacity
// holds the message, and whatever it encodes decodes back to the same PDU.
#include <memory>

#include "fuzz_support.h"

namespace {

const uint8_t typeChoices[] = {
    ASN_INTEGER, ASN_OCTET_STR, ASN_NULL, ASN_OBJECT_ID, ASN_IPADDRESS, ASN_COUNTER, ASN_GAUGE,
    ASN_TIMETICKS, ASN_OPAQUE, ASN_NSAP, ASN_COUNTER64, ASN_UINTEGER, ASN_NOSUCHOBJECT, ASN_NOSUCHINSTANCE,
    ASN_ENDOFMIBVIEW, ASN_BIT_STR, ASN_BOOLEAN, ASN_SEQUENCE, 0x99,
};

uint32_t subIdentifier(ByteReader& in)
{
    const uint8_t form = in.u8();
    if (form < 0xC0)
        return form;
    return form < 0xF0 ? in.u16() : in.u32();
}

uint32_t* oidFrom(ByteReader& in, int32_t count)
{
    auto* oid = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(uint32_t)));
    for (int32_t i = 0; i < count; ++i)
        oid[i] = subIdentifier(in);
    return oid;
}

int32_t valueLengthFor(ByteReader& in, uint8_t type, bool odd)
{
    switch (type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        return odd ? in.u8() % 9 : 4;
    case ASN_COUNTER64:
        return odd ? in.u8() % 12 : 8;
    case ASN_OBJECT_ID:
        return 4 * (in.u8() % 70) + (odd ? 2 : 0);
    case ASN_IPADDRESS:
        return odd ? in.u8() % 8 : 4;
    default:
        return isNullLikeType(type) ? (odd ? in.u8() % 4 : 0) : in.u16() % 700;
    }
}

SnmpPdu* pduFrom(ByteReader& in)
{
    const uint8_t command = in.u8();
    SnmpPdu* pdu = createPdu(command < 0xF0 ? 0xA0 + command % 9 : command);
    if (pdu->command == PduTrap) {
        pdu->enterpriseLength = in.u8() % 70;
        pdu->enterprise = oidFrom(in, pdu->enterpriseLength);
        const uint32_t agentAddress = in.u32();
        std::memcpy(pdu->agentAddress, &agentAddress, sizeof pdu->agentAddress);
        pdu->genericTrap = static_cast<int32_t>(in.u32());
        pdu->specificTrap = static_cast<int32_t>(in.u32());
        pdu->timeStamp = in.u32();
    } else {
        pdu->requestId = static_cast<int32_t>(in.u32());
        pdu->errorStatus = static_cast<int32_t>(in.u32());
        pdu->errorIndex = static_cast<int32_t>(in.u32());
    }
    const int bindings = in.u8() % 24;
    for (int i = 0; i < bindings; ++i) {
        const uint8_t shape = in.u8();
        const int32_t nameLength = shape % 70;
        uint32_t* name = oidFrom(in, nameLength);
        VarBind* var = addNullVar(pdu, name, nameLength);
        std::free(name);
        var->type = typeChoices[in.u8() % sizeof typeChoices];
        var->valueLength = valueLengthFor(in, var->type, (shape & 0x80) != 0);
        if (var->valueLength > 0 && !isNullLikeType(var->type)) {
            var->value = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(var->valueLength)));
            if (var->type == ASN_OBJECT_ID) {
                for (int32_t k = 0; k + 4 <= var->valueLength; k += 4) {
                    const uint32_t entry = subIdentifier(in);
                    std::memcpy(var->value + k, &entry, 4);
                }
            } else {
                in.bytes(var->value, static_cast<size_t>(var->valueLength));
            }
        }
    }
    return pdu;
}

// A name, OID value or enterprise of more entries than the decoder takes.
bool overDecodeCapacity(const SnmpPdu* pdu)
{
    if (pdu->command == PduTrap && pdu->enterpriseLength > SnmpOidCapacity)
        return true;
    for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        if (var->nameLength > SnmpOidCapacity)
            return true;
        if (var->type == ASN_OBJECT_ID && var->valueLength / 4 > SnmpOidCapacity)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ByteReader in(data, size);
    SnmpSession session{};
    session.version = in.u8() % 3;
    const int32_t communityLength = in.u8();
    std::unique_ptr<uint8_t[]> community(new uint8_t[static_cast<size_t>(communityLength) + 1]);
    in.bytes(community.get(), static_cast<size_t>(communityLength));
    session.community = community.get();
    session.communityLength = communityLength;
    const int32_t capacity = in.u16() % 5000;
    SnmpPdu* pdu = pduFrom(in);

    // The size needed, from a buffer larger than any message.
    uint8_t reference[2 * SnmpPacketSize];
    int32_t needed = sizeof reference;
    const bool fits = encodeMessage(&session, pdu, reference, &needed, 0) == 0;

    std::unique_ptr<uint8_t[]> packet(new uint8_t[static_cast<size_t>(capacity > 0 ? capacity : 1)]);
    int32_t length = capacity;
    const int32_t result = encodeMessage(&session, pdu, packet.get(), &length, 0);
    FUZZ_CHECK(result == 0 || result == -1);
    FUZZ_CHECK((result == 0) == (fits && needed <= capacity));
    if (result == 0) {
        FUZZ_CHECK(length == needed);
        FUZZ_CHECK(std::memcmp(packet.get(), reference, static_cast<size_t>(length)) == 0);
    }

    if (fits && session.version != SnmpVersionUsec) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[static_cast<size_t>(needed)]);
        std::memcpy(exact.get(), reference, static_cast<size_t>(needed));
        SnmpPdu* back = zeroPdu();
        const int32_t decoded = decodeMessage(nullptr, back, exact.get(), needed);
        if (overDecodeCapacity(pdu) || (pdu->command & 0x1F) == 0x1F) {
            // Sent (its content fits 64 octets) but never read back cut short;
            // or a command that is no single-octet tag.
            FUZZ_CHECK(decoded == -1);
            freePdu(back);
            freePdu(pdu);
            return 0;
        }
        FUZZ_CHECK(decoded == 0);
        checkSamePdu(pdu, back);
        // The header as sent.
        uint8_t got[SnmpCommunityCapacity];
        int32_t gotLength = sizeof got;
        int32_t version = -1;
        int32_t remaining = needed;
        FUZZ_CHECK(decodeMessageHeader(exact.get(), &remaining, got, &gotLength, &version) != nullptr);
        FUZZ_CHECK(version == session.version);
        FUZZ_CHECK(gotLength == communityLength);
        if (gotLength > 0)
            FUZZ_CHECK(std::memcmp(got, community.get(), static_cast<size_t>(gotLength)) == 0);
        freePdu(back);
    }
    freePdu(pdu);
    return 0;
}
