// decodeUsecParameters on any octets (an exactly sized heap block, as the
// contents of a received parameters string). Checked on every input:
//   - the result is 0 or UsecBadParameters, and agrees with a plain reading
//     of the wire layout done here;
//   - every field holds what that reading gives; fields behind a failed check
//     keep what they held (a fill pattern here);
//   - lengths stay within their capacities, and the digest position points at
//     the digest inside the input;
//   - an accepted string is exactly what buildUsecParameters writes for a
//     session holding the decoded values (the digest standing as the key).
#include <memory>

#include "fuzz_support.h"
#include "usec_fixture.h"

namespace {

constexpr uint8_t Fill = 0xA5;

UsecParameters filled()
{
    UsecParameters p;
    std::memset(&p, Fill, sizeof p);
    return p;
}

uint32_t bigEndian(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// The layout read field by field: offsets 0 model, 1 qoS, 2 agent id (12),
// 14 boots, 18 time, 22 maximum size, 24 user length u, 25 user, 25+u digest
// length, then the digest when qoS asks for one, then the context.
int32_t reference(const uint8_t* in, int32_t n, UsecParameters* out)
{
    if (n < 25)
        return UsecBadParameters;
    out->model = in[0];
    if (in[0] != 1)
        return UsecBadParameters;
    out->qoS = in[1];
    if (in[1] != (in[1] & (SecurityAuth | SecurityReportable)))
        return UsecBadParameters;
    std::memcpy(out->agentId, in + 2, 12);
    out->agentBoots = bigEndian(in + 14);
    out->agentTime = static_cast<int32_t>(bigEndian(in + 18));
    out->maxSize = in[22] * 256 + in[23];
    if (out->maxSize < 484)
        return UsecBadParameters;
    const int32_t u = in[24];
    out->userNameLength = u;
    if (u < 1 || u > 16)
        return UsecBadParameters;
    if (n < 26 + u)
        return UsecBadParameters;
    std::memcpy(out->userName, in + 25, static_cast<size_t>(u));
    out->authLength = in[25 + u];
    int32_t at = 26 + u;
    if ((in[1] & SecurityAuth) != 0) {
        if (in[25 + u] != 16 || n < at + 16)
            return UsecBadParameters;
        std::memcpy(out->authDigest, in + at, 16);
        out->digestOffset = at;
        at += 16;
    } else if (in[25 + u] != 0) {
        return UsecBadParameters;
    }
    if (n - at > 40)
        return UsecBadParameters;
    out->contextLength = n - at;
    std::memcpy(out->context, in + at, static_cast<size_t>(n - at));
    return 0;
}

void checkSame(const UsecParameters& a, const UsecParameters& b)
{
    FUZZ_CHECK(a.model == b.model);
    FUZZ_CHECK(a.qoS == b.qoS);
    FUZZ_CHECK(std::memcmp(a.agentId, b.agentId, sizeof a.agentId) == 0);
    FUZZ_CHECK(a.agentBoots == b.agentBoots);
    FUZZ_CHECK(a.agentTime == b.agentTime);
    FUZZ_CHECK(a.maxSize == b.maxSize);
    FUZZ_CHECK(a.userNameLength == b.userNameLength);
    FUZZ_CHECK(std::memcmp(a.userName, b.userName, sizeof a.userName) == 0);
    FUZZ_CHECK(a.authLength == b.authLength);
    FUZZ_CHECK(std::memcmp(a.authDigest, b.authDigest, sizeof a.authDigest) == 0);
    FUZZ_CHECK(a.digestOffset == b.digestOffset);
    FUZZ_CHECK(a.contextLength == b.contextLength);
    FUZZ_CHECK(std::memcmp(a.context, b.context, sizeof a.context) == 0);
}

void checkRebuilt(const UsecParameters& decoded, const uint8_t* in, int32_t n)
{
    SnmpSession session;
    std::memset(&session, 0, sizeof session);
    session.version = SnmpVersionUsec;
    session.securityFlags = decoded.qoS;
    std::memcpy(session.agentId, decoded.agentId, 12);
    session.agentBoots = decoded.agentBoots;
    session.timeOffset = static_cast<int32_t>(static_cast<uint32_t>(decoded.agentTime) -
                                              static_cast<uint32_t>(fixture::ClockSeconds));
    session.maxMessageSize = decoded.maxSize;
    session.userNameLength = decoded.userNameLength;
    std::memcpy(session.userName, decoded.userName, static_cast<size_t>(decoded.userNameLength));
    std::memcpy(session.authKey, decoded.authDigest, 16);
    session.contextLength = decoded.contextLength;
    std::memcpy(session.context, decoded.context, static_cast<size_t>(decoded.contextLength));

    // Exactly the room needed, then one octet less.
    std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(n)]);
    int32_t length = n;
    FUZZ_CHECK(buildUsecParameters(&session, 1, out.get(), &length) == 0);
    FUZZ_CHECK(length == n);
    FUZZ_CHECK(std::memcmp(out.get(), in, static_cast<size_t>(n)) == 0);
    length = n - 1;
    FUZZ_CHECK(buildUsecParameters(&session, 1, out.get(), &length) == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The rebuilt agent time is local clock + offset: keep the clock still.
    static const bool ready = [] {
        setClockSource(fixture::fixedClock);
        return true;
    }();
    (void)ready;
    if (size > 65536)
        return 0;
    const int32_t n = static_cast<int32_t>(size);
    std::unique_ptr<uint8_t[]> input(new uint8_t[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy(input.get(), data, size);
    const uint8_t* in = size > 0 ? input.get() : nullptr;

    std::unique_ptr<UsecParameters> decoded(new UsecParameters(filled()));
    const int32_t result = decodeUsecParameters(in, n, decoded.get());
    FUZZ_CHECK(result == 0 || result == UsecBadParameters);

    UsecParameters expected = filled();
    FUZZ_CHECK(reference(in, n, &expected) == result);
    checkSame(*decoded, expected);
    if (result != 0)
        return 0;

    FUZZ_CHECK(decoded->userNameLength >= 1 && decoded->userNameLength <= 16);
    FUZZ_CHECK(decoded->contextLength >= 0 && decoded->contextLength <= 40);
    if ((decoded->qoS & SecurityAuth) != 0) {
        FUZZ_CHECK(decoded->digestOffset == 26 + decoded->userNameLength);
        FUZZ_CHECK(std::memcmp(in + decoded->digestOffset, decoded->authDigest, 16) == 0);
    } else {
        std::memset(decoded->authDigest, 0, 16);  // not on the wire: any placeholder does
    }
    checkRebuilt(*decoded, in, n);
    return 0;
}
