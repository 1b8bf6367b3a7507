#include "snmp/discovery/discovery.h"

#include <cstring>

#include "snmp/base/diagnostics.h"
#include "snmp/security/agent_clock.h"
#include "snmp/security/keys.h"

namespace {

const uint8_t DiscoveryUser[] = {'k', 'o', 'l', 'b', 'u', 'r'};

}  // namespace

int32_t discoverAgent(SnmpSession* session)
{
    session->securityFlags = SecurityReportable;
    std::memcpy(session->userName, DiscoveryUser, sizeof DiscoveryUser);
    session->userNameLength = sizeof DiscoveryUser;
    session->version = SnmpVersionUsec;

    syncInstall(session);
    SnmpPdu* request = createPdu(PduGetRequest);
    SnmpPdu* response = nullptr;
    const int32_t status = syncRequest(session, request, &response);
    if (status != 0 || response == nullptr) {
        if (status == 2)
            diagnoseOutput("No Response from %s\n", session->peerName != nullptr ? session->peerName : "");
        else
            diagnoseOutput("An error occurred, Quitting\n");
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
