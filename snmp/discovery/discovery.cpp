#include "snmp/discovery/discovery.h"

#include <cstring>

#include "snmp/base/diagnostics.h"
#include "snmp/security/common/agent_clock.h"
#include "snmp/security/usec/keys.h"
#include "snmp/security/usec/security_string.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/sync_request.h"

namespace {

const uint8_t DiscoveryUser[] = {'k', 'o', 'l', 'b', 'u', 'r'};

}  // namespace

int32_t discoverAgent(SnmpSession* session)
{
    // Asked as by a manager that knows nothing of the agent yet, also when
    // the session has learned (or recalled) it before.
    std::memset(session->agentId, 0, sizeof session->agentId);
    session->agentBoots = 0;
    session->agentTime = 0;
    session->timeOffset = 0;
    session->contextLength = 0;
    session->securityFlags = SecurityReportable;
    std::memcpy(session->userName, DiscoveryUser, sizeof DiscoveryUser);
    session->userNameLength = sizeof DiscoveryUser;
    session->version = SnmpVersionUsec;

    syncInstall(session);
    SnmpPdu* request = createPdu(PduGetRequest);
    SnmpPdu* response = nullptr;
    const int32_t status = syncExchange(session, request, &response);
    if (status != 0 || response == nullptr) {
        reportDiscoveryFailure(session, status);
        freePdu(response);
        return -1;
    }
    // Taken whatever the hook said: the identifier cannot match before it is known.
    std::memcpy(session->agentId, response->security.agentId, UsecAgentIdLength);
    session->agentBoots = response->security.agentBoots;
    session->agentTime = response->security.agentTime;
    session->timeOffset = offsetToAgentTime(response->security.agentTime);
    freePdu(response);
    return 0;
}

void reportDiscoveryFailure(const SnmpSession* session, int32_t status)
{
    if (status == 2)
        diagnoseOutput("No Response from %s\n", session->peerName != nullptr ? session->peerName : "");
    else
        diagnoseOutput("An error occurred, Quitting\n");
}

int32_t keySession(SnmpSession* session)
{
    if (parseSecurityString(session) == UsecParseRefused)
        return -1;
    session->securityFlags |= SecurityReportable;
    return 0;
}

int32_t learnAgent(SnmpSession* session)
{
    SessionSlot* slot = findSessionSlot(session);
    if (slot == nullptr)
        return -1;
    // The discovery's answer names an identifier the session does not know yet.
    slot->acceptedOnly = false;
    slot->agentRecalled = false;
    if (discoverAgent(session) != 0)
        return -1;
    slot->acceptedOnly = true;
    return keySession(session);
}

AgentAddress agentAddressOf(const SnmpSession* session)
{
    const SessionSlot* slot = findSessionSlot(session);
    if (slot == nullptr)
        return AgentAddress{};
    return slot->transport->peerAddress;
}
