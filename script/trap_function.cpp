#include "script/trap_function.h"

#include <cstdlib>
#include <cstring>

#include "module/host_services.h"
#include "platform/runtime.h"
#include "platform/winsock.h"
#include "script/dispatcher.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/request_functions.h"
#include "script/value_conversion.h"
#include "snmp/session.h"
#include "snmp/sync_request.h"

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
    SnmpPdu* pdu = createPdu(PduTrap);
    if (pdu == nullptr)
        return false;
    if (count > 0) {
        pdu->enterprise = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(count), sizeof(uint32_t)));
        if (pdu->enterprise == nullptr) {
            freePdu(pdu);
            return false;
        }
        std::memcpy(pdu->enterprise, enterprise, sizeof(uint32_t) * static_cast<size_t>(count));
        pdu->enterpriseLength = count;
    }
    pdu->agentAddress.sin_family = AF_INET;
    pdu->agentAddress.sin_addr.s_addr = agentAddress;
    pdu->genericTrap = genericTrap;
    pdu->specificTrap = specificTrap;
    pdu->timeStamp = GetTickCount() / 10;
    const bool sent = sendPdu(session, pdu) != 0;
    freePdu(pdu);
    return sent;
}

void snmptrapEx(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isNumberValue(args[4]) || !isNumberValue(args[5]) || !isStringValue(args[6]))
        return;
    if (!portsAccepted(args))
        return;
    int32_t timeout = 500;
    int32_t retries = 3;
    if (!readTimeoutRetries(args, 7, timeout, retries))
        return;

    SnmpSession settings;
    std::memset(&settings, 0, sizeof settings);
    settings.retries = retries;
    settings.timeout = static_cast<int32_t>(static_cast<int64_t>(timeout) * 1000);
    settings.peerName = args[0].text.GetString();
    settings.community = reinterpret_cast<const uint8_t*>(args[3].text.GetString());
    settings.communityLength = static_cast<int32_t>(std::strlen(args[3].text.GetString()));
    settings.remotePort = truncateToLow16(args[1].number);
    settings.localPort = truncateToLow16(args[2].number);
    syncInstall(&settings);
    SnmpSession* session = openSession(&settings);
    if (session == nullptr) {
        reportError("Couldn't open snmp", nullptr);
        return;
    }

    uint32_t enterprise[LastOidCapacity];
    int32_t count = LastOidCapacity;
    if (!parseOidString(args[6].text, enterprise, &count) || count > SnmpOidCapacity) {
        reportInvalidValue(args[6].text);
        closeSession(session);
        return;
    }
    const bool sent = sendTrap(session, localAddress(), static_cast<int32_t>(truncateToLow32(args[4].number)),
                               static_cast<int32_t>(truncateToLow32(args[5].number)), enterprise, count);
    setNumberResult(result, sent ? 1 : 0);
    closeSession(session);
}
