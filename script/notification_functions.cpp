#include "script/notification_functions.h"

#include <cstring>

#include "hostapi/host_messages.h"
#include "platform/hex_digits.h"
#include "platform/runtime.h"
#include "script/arguments.h"
#include "script/binding_list.h"
#include "script/exchange.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/value_conversion.h"

namespace {

// The two bindings every SNMPv2 notification begins with (RFC 3416 4.2.6).
const uint32_t SysUpTime0[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const uint32_t SnmpTrapOid0[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};

// The notification of the given command: its checks, its session, its bindings.
void notify(const HostValue* args, HostValue& result, int32_t command)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isStringValue(args[4]))
        return;
    if (!portsAccepted(args))
        return;
    int32_t timeout = DefaultRequestTimeout;
    int32_t retries = DefaultRequestRetries;
    if (!readTimeoutRetries(args, 5, timeout, retries))
        return;
    const CString& community = args[3].text;
    const CommunityKind kind = communityKind(reinterpret_cast<const uint8_t*>(community.GetString()),
                                             static_cast<int32_t>(std::strlen(community.GetString())));
    if (kind == CommunityKind::UserBased) {
        // The user-based mode has no notifications: refused before anything
        // goes out, the message naming the mode's prefix but not its secrets.
        reportCommunityRefused(community.GetString());
        return;
    }
    uint32_t trapOid[LastOidCapacity];
    int32_t count = LastOidCapacity;
    if (!parseOidString(args[4].text, trapOid, &count) || count < 2 || count > SnmpOidCapacity) {
        reportInvalidValue(args[4].text);
        return;
    }
    // A notification exists from SNMPv2 on: a plain community speaks SNMPv2c here.
    const CString text = kind == CommunityKind::Usm || community[0] == '+' ? community : "+" + community;
    SnmpSession settings = sessionSettings(args[0].text.GetString(), text.GetString(), truncateToLow16(args[1].number),
                                           truncateToLow16(args[2].number), timeout, retries);
    // An SNMPv3 trap's authoritative engine is the module's own; an inform's is the receiver's.
    settings.localEngine = kind == CommunityKind::Usm && command == PduV2Trap;
    ScopedSession session(settings);
    if (!session)
        return;
    const uint32_t upTime = runtimeTickCount() / 10;  // hundredths of a second
    PduHolder pdu(createPdu(command));
    if (pdu == nullptr || addVar(pdu.get(), SysUpTime0, 9, ASN_TIMETICKS, &upTime, sizeof upTime) == nullptr ||
        addVar(pdu.get(), SnmpTrapOid0, 11, ASN_OBJECT_ID, trapOid, 4 * count) == nullptr ||
        !appendListedBindings(pdu.get())) {
        setNumberResult(result, 0);
        return;
    }
    if (command == PduV2Trap) {
        setNumberResult(result, sendPdu(session.get(), pdu.get()) != 0 ? 1 : 0);
        return;
    }
    int32_t status = 0;
    PduHolder reply = replyTo(session, std::move(pdu), &status);
    if (answerFrom(session, status, std::move(reply)) != nullptr) {
        setNumberResult(result, 1);
        return;
    }
    if (!session.agentSilent())  // else "Couldn't open snmp" has been said, as for a get
        reportNoValue(args[4].text);
    setNumberResult(result, 0);
}

}  // namespace

void snmpnotifyEx(const HostValue* args, HostValue& result) { notify(args, result, PduV2Trap); }

void snmpinformEx(const HostValue* args, HostValue& result) { notify(args, result, PduInform); }

void snmpengineidEx(const HostValue* args, HostValue& result)
{
    static const char Digits[] = "0123456789abcdef";
    uint8_t id[SnmpMaxEngineIdLength];
    if (isStringValue(args[0])) {
        const char* text = args[0].text.GetString();
        const size_t length = std::strlen(text);
        bool hex = length % 2 == 0 && length <= 2 * SnmpMaxEngineIdLength;
        for (size_t i = 0; hex && i < length; i += 2) {
            const int high = hexDigitValue(text[i]);
            const int low = hexDigitValue(text[i + 1]);
            hex = high >= 0 && low >= 0;
            if (hex)
                id[i / 2] = static_cast<uint8_t>(high << 4 | low);
        }
        if (!hex || setLocalEngineId(id, static_cast<int32_t>(length / 2)) != 0) {
            reportInvalidValue(args[0].text);
            return;
        }
    }
    const int32_t length = getLocalEngineId(id);
    CString text;
    for (int32_t i = 0; i < length; ++i) {
        text += Digits[id[i] >> 4];
        text += Digits[id[i] & 15];
    }
    setStringResult(result, text);
}
