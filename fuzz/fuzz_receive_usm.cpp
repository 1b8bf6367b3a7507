// The SNMPv3 receive check, receiveUsmMessage, on any datagram, for two
// sessions that know their engine and hold keys (SHA-256 with AES, MD5 with
// DES); and on the datagram signed again with each session's key, so that
// what lies behind the MAC (the clock, decryption, the scoped PDU, the msgID)
// meets mutated input too. Checked on every input:
//   - the verdict is -1, accepted or refused, and the datagram is unchanged;
//   - the session's user, engine and keys never change;
//   - its clock moves only forward, only to the message's boots and time, and
//     only for a message whose MAC verifies (computed here with the
//     platform's HMAC, independently of the check);
//   - an accepted message is at the session's level with a MAC that
//     verifies, names the session's engine, and its request id is its msgID;
//   - the decoded bindings stay within their capacities; the PDU is freed.
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "platform/crypto.h"
#include "snmp/codec/v3_message.h"
#include "snmp/security/usm/usm_message.h"
#include "snmp/security/usm/usm_parameters.h"
#include "usm_fixture.h"

namespace {

struct PduFree {
    void operator()(SnmpPdu* pdu) const { freePdu(pdu); }
};
using Pdu = std::unique_ptr<SnmpPdu, PduFree>;

struct Rig {
    SnmpSession session;
    UsmSession base;  // the engine's view as every input finds it
};

Rig* rigs()
{
    static Rig* all = [] {
        auto* r = new Rig[usmfixture::SessionCount];
        for (int i = 0; i < usmfixture::SessionCount; ++i) {
            r[i].session = usmfixture::manager(i);
            FUZZ_CHECK(r[i].session.usm != nullptr && r[i].session.usm->keyed);
            r[i].base = *r[i].session.usm;
        }
        return r;
    }();
    return all;
}

// The MAC of the message as the session's key makes it, computed here over
// the datagram with the field as zeros; false when the message has no MAC
// field of the protocol's length. *at: where the field lies.
bool computeMac(const UsmSession& usm, const uint8_t* data, int32_t length, uint8_t* mac, size_t* at)
{
    V3Message message;
    UsmParameters p;
    const UsmAuthProtocol* protocol = usmAuthProtocol(usm.credentials.auth);
    if (protocol == nullptr || decodeV3Message(data, length, &message) != 0 ||
        decodeUsmParameters(message.parameters, message.parametersLength, &p) != 0 ||
        p.authLength != protocol->macLength)
        return false;
    const size_t field = static_cast<size_t>(message.parameters - data) + static_cast<size_t>(p.authOffset);
    if (field + protocol->macLength > static_cast<size_t>(length))
        return false;
    static const uint8_t zeros[UsmMaxMacLength] = {};
    const CryptoPiece pieces[3] = {{data, field},
                                   {zeros, protocol->macLength},
                                   {data + field + protocol->macLength,
                                    static_cast<size_t>(length) - field - protocol->macLength}};
    FUZZ_CHECK(cryptoHmac(protocol->hash, usm.authKey, protocol->keyLength, pieces, 3, mac));
    *at = field;
    return true;
}

bool macVerifies(const UsmSession& usm, const uint8_t* data, int32_t length)
{
    uint8_t mac[CryptoMaxDigestLength];
    size_t at = 0;
    return computeMac(usm, data, length, mac, &at) &&
           std::memcmp(mac, data + at, usmAuthProtocol(usm.credentials.auth)->macLength) == 0;
}

void checkIdentity(const UsmSession& now, const UsmSession& base)
{
    FUZZ_CHECK(std::memcmp(&now.credentials, &base.credentials, sizeof base.credentials) == 0);
    FUZZ_CHECK(now.engineIdLength == base.engineIdLength);
    FUZZ_CHECK(std::memcmp(now.engineId, base.engineId, sizeof base.engineId) == 0);
    FUZZ_CHECK(std::memcmp(now.authKey, base.authKey, sizeof base.authKey) == 0);
    FUZZ_CHECK(std::memcmp(now.privKey, base.privKey, sizeof base.privKey) == 0);
    FUZZ_CHECK(now.keyed == base.keyed && now.recalled == base.recalled && now.discovering == base.discovering);
}

void judge(Rig& rig, const uint8_t* data, int32_t length)
{
    SnmpSession& session = rig.session;
    UsmSession& usm = *session.usm;
    usm = rig.base;
    // An exactly sized copy, which the check must leave as it was.
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[length > 0 ? static_cast<size_t>(length) : 1]);
    if (length > 0)
        std::memcpy(datagram.get(), data, static_cast<size_t>(length));
    Pdu pdu(zeroPdu());
    const int32_t verdict = receiveUsmMessage(&session, pdu.get(), length > 0 ? datagram.get() : nullptr, length);
    FUZZ_CHECK(verdict == -1 || verdict == UsmAccepted || verdict == UsmRefused);
    FUZZ_CHECK(length == 0 || std::memcmp(datagram.get(), data, static_cast<size_t>(length)) == 0);
    checkIdentity(usm, rig.base);

    const bool moved = usm.boots != rig.base.boots || usm.latestTime != rig.base.latestTime ||
                       usm.timeOffset != rig.base.timeOffset;
    if (moved) {
        FUZZ_CHECK(macVerifies(usm, data, length));
        FUZZ_CHECK(usm.boots > rig.base.boots || (usm.boots == rig.base.boots && usm.latestTime > rig.base.latestTime));
        FUZZ_CHECK(usm.boots == static_cast<int32_t>(pdu->engine.boots) && usm.latestTime == pdu->engine.time);
    }
    if (verdict == UsmAccepted) {
        // Neither session is recalled: nothing below its level is taken but
        // the authenticated clock Report, which agents send without privacy.
        FUZZ_CHECK((pdu->security.qoS & (SecurityAuth | SecurityPriv)) == (SecurityAuth | SecurityPriv) ||
                   ((pdu->security.qoS & SecurityAuth) != 0 && usmReportKind(pdu.get()) == UsmReport::NotInTimeWindow));
        FUZZ_CHECK(macVerifies(usm, data, length));
        FUZZ_CHECK(pdu->engine.engineIdLength == usm.engineIdLength);
        FUZZ_CHECK(std::memcmp(pdu->engine.engineId, usm.engineId, static_cast<size_t>(usm.engineIdLength)) == 0);
        FUZZ_CHECK(pdu->requestId == pdu->engine.msgId);
        checkDecodedBindings(pdu.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The engine reads at most this much of a datagram.
    const int32_t length = static_cast<int32_t>(size < SnmpPacketSize ? size : SnmpPacketSize);
    Rig* all = rigs();
    for (int i = 0; i < usmfixture::SessionCount; ++i) {
        judge(all[i], data, length);
        uint8_t mac[CryptoMaxDigestLength];
        size_t at = 0;
        if (computeMac(all[i].base, data, length, mac, &at)) {
            std::vector<uint8_t> signedCopy(data, data + length);
            std::memcpy(signedCopy.data() + at, mac, usmAuthProtocol(all[i].base.credentials.auth)->macLength);
            judge(all[i], signedCopy.data(), length);
        }
    }
    return 0;
}
