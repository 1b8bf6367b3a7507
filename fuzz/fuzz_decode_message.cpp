// decodeMessage on any datagram: never reads outside the octets, never leaks,
// and what it decodes encodes again into a message that decodes to the same
// PDU (and encodes to the same octets).
#include <memory>

#include "fuzz_support.h"

namespace {

// Checks that the community handed to the hook lies inside the datagram and
// reads all of it, so that a sanitizer sees any stray position.
int32_t boundsCheckingHook(const uint8_t* message, int32_t messageLength, const uint8_t* parameters,
                           int32_t parametersLength,
                           SnmpSession* /*session*/, SnmpPdu* pdu)
{
    FUZZ_CHECK(parametersLength >= 0);
    FUZZ_CHECK(parameters >= message);
    FUZZ_CHECK(parameters + parametersLength <= message + messageLength);
    FUZZ_CHECK(pdu != nullptr);
    volatile uint8_t sum = 0;
    for (int32_t i = 0; i < parametersLength; ++i)
        sum = static_cast<uint8_t>(sum + parameters[i]);
    (void)sum;
    return 0;
}

struct PduFree {
    void operator()(SnmpPdu* pdu) const { freePdu(pdu); }
};
using Pdu = std::unique_ptr<SnmpPdu, PduFree>;

bool reencodable(const SnmpPdu* pdu)
{
    for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        if (!isDecodable(var->type))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    const int32_t length = static_cast<int32_t>(size);
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[size]);
    if (size > 0)
        std::memcpy(datagram.get(), data, size);

    // The header alone, to learn the version and community for re-encoding.
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = SnmpCommunityCapacity;
    int32_t version = -1;
    int32_t remaining = length;
    const uint8_t* pduStart = length > 0 ? decodeMessageHeader(datagram.get(), &remaining, community,
                                                                &communityLength, &version)
                                         : nullptr;
    if (pduStart != nullptr) {
        FUZZ_CHECK(pduStart > datagram.get() && pduStart <= datagram.get() + size);
        FUZZ_CHECK(remaining >= 0 && pduStart + remaining <= datagram.get() + size);
        FUZZ_CHECK(communityLength >= 0 && communityLength <= SnmpCommunityCapacity);
    }

    SnmpSession session{};
    session.authHook = boundsCheckingHook;
    Pdu pdu(zeroPdu());
    const int32_t result = decodeMessage(&session, pdu.get(), datagram.get(), length);
    FUZZ_CHECK(result == 0 || result == -1);
    if (result != 0)
        return 0;
    FUZZ_CHECK(pduStart != nullptr);
    FUZZ_CHECK(version >= 0 && version <= 2);
    if (version == SnmpVersionUsec || !reencodable(pdu.get()))
        return 0;

    session.authHook = nullptr;
    session.version = version;
    session.community = community;
    session.communityLength = communityLength;
    uint8_t first[SnmpPacketSize];
    int32_t firstLength = sizeof first;
    if (encodeMessage(&session, pdu.get(), first, &firstLength, 0) != 0)
        return 0;  // too large, or a value the encoder cannot write back

    std::unique_ptr<uint8_t[]> exact(new uint8_t[static_cast<size_t>(firstLength)]);
    std::memcpy(exact.get(), first, static_cast<size_t>(firstLength));
    Pdu again(zeroPdu());
    FUZZ_CHECK(decodeMessage(nullptr, again.get(), exact.get(), firstLength) == 0);
    checkSamePdu(pdu.get(), again.get());

    uint8_t second[SnmpPacketSize];
    int32_t secondLength = sizeof second;
    FUZZ_CHECK(encodeMessage(&session, again.get(), second, &secondLength, 0) == 0);
    FUZZ_CHECK(secondLength == firstLength);
    FUZZ_CHECK(std::memcmp(first, second, static_cast<size_t>(firstLength)) == 0);
    return 0;
}
