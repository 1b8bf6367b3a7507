#include "script/trap_function.h"

#include <cstring>

#include "hostapi/host_messages.h"
#include "platform/runtime.h"
#include "platform/winsock.h"
#include "script/arguments.h"
#include "script/exchange.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"

uint32_t localAddress()
{
    const hostent* entry = winGethostbyname("");
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4)
        return 0;
    for (char** address = entry->h_addr_list; *address != nullptr; ++address) {
        uint32_t value;
        std::memcpy(&value, *address, 4);
        if (value != 0)
            return value;
    }
    return 0;
}

bool sendTrap(SnmpSession* session, uint32_t agentAddress, int32_t genericTrap, int32_t specificTrap,
              const uint32_t* enterprise, int32_t count)
{
    PduHolder pdu(createPdu(PduTrap));
    if (pdu == nullptr || (count > 0 && !copyEnterprise(pdu.get(), enterprise, count)))
        return false;
    std::memcpy(pdu->agentAddress, &agentAddress, sizeof pdu->agentAddress);
    pdu->genericTrap = genericTrap;
    pdu->specificTrap = specificTrap;
    pdu->timeStamp = runtimeTickCount() / 10;
    return sendPdu(session, pdu.get()) != 0;
}

void snmptrapEx(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isNumberValue(args[4]) || !isNumberValue(args[5]) || !isStringValue(args[6]))
        return;
    if (!portsAccepted(args))
        return;
    int32_t timeout = DefaultRequestTimeout;
    int32_t retries = DefaultRequestRetries;
    if (!readTimeoutRetries(args, 7, timeout, retries))
        return;
    const char* community = args[3].text.GetString();
    if (communityKind(reinterpret_cast<const uint8_t*>(community), static_cast<int32_t>(std::strlen(community))) ==
        CommunityKind::Usm) {
        // SNMPv3 traps are not sent: refused before anything goes out, the
        // message naming the user but not the secrets behind it.
        reportCommunityRefused(community);
        return;
    }
    ScopedSession session(sessionSettings(args[0].text.GetString(), community,
                                          truncateToLow16(args[1].number), truncateToLow16(args[2].number), timeout,
                                          retries));
    if (!session)
        return;

    uint32_t enterprise[LastOidCapacity];
    int32_t count = LastOidCapacity;
    if (!parseOidString(args[6].text, enterprise, &count) || count > SnmpOidCapacity) {
        reportInvalidValue(args[6].text);
        return;
    }
    const bool sent = sendTrap(session.get(), localAddress(), static_cast<int32_t>(truncateToLow32(args[4].number)),
                               static_cast<int32_t>(truncateToLow32(args[5].number)), enterprise, count);
    setNumberResult(result, sent ? 1 : 0);
}
