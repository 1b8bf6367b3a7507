#include "script/exchange.h"

#include <cstring>

#include "hostapi/host_messages.h"
#include "script/module_state.h"

namespace {

// Only a Response answers a request. A Report that ends the wait is the
// agent's account of why the request failed (statistics counters of the
// user-based mode), and it travels unauthenticated even on a session that
// authenticates: its bindings are never a value.
bool isResponse(const SnmpPdu* reply) { return reply != nullptr && reply->command == PduResponse; }

}  // namespace

ScopedSession::ScopedSession(SnmpSession settings)
{
    syncInstall(&settings);
    session_ = openSession(&settings);
    if (session_ == nullptr)
        reportError("Couldn't open snmp", nullptr);
}

ScopedSession::~ScopedSession()
{
    if (session_ != nullptr)
        closeSession(session_);
}

void ScopedSession::setAgentSilent()
{
    agentSilent_ = true;
    reportError("Couldn't open snmp", nullptr);
}

SnmpSession sessionSettings(const char* peer, const char* community, uint16_t remotePort, uint16_t localPort,
                            int32_t timeoutMs, int32_t retries)
{
    SnmpSession settings;
    std::memset(&settings, 0, sizeof settings);
    settings.retries = retries;
    settings.timeout = static_cast<int32_t>(static_cast<int64_t>(timeoutMs) * 1000);
    settings.peerName = peer;
    settings.community = reinterpret_cast<const uint8_t*>(community);
    settings.communityLength = static_cast<int32_t>(std::strlen(community));
    settings.remotePort = remotePort;
    settings.localPort = localPort;
    return settings;
}

ScopedSession openRequestSession(uint16_t remotePort, uint16_t localPort)
{
    ScriptState& state = scriptState();
    state.lastRemotePort = remotePort;
    state.lastLocalPort = localPort;
    return ScopedSession(sessionSettings(CurrentPeer.GetString(), CurrentCommunity.GetString(), remotePort,
                                         localPort, state.requestTimeout, state.requestRetries));
}

PduHolder requestForLastOid(int32_t command)
{
    const ScriptState& state = scriptState();
    PduHolder pdu(createPdu(command));
    if (pdu != nullptr && addNullVar(pdu.get(), state.lastOid, state.lastOidCount) == nullptr)
        pdu.reset();
    return pdu;
}

PduHolder replyTo(ScopedSession& session, PduHolder request, int32_t* status)
{
    SnmpPdu* reply = nullptr;
    *status = syncRequest(session.get(), request.release(), &reply);
    PduHolder response(reply);
    if (*status != 0)
        response.reset();
    else if (response == nullptr)
        *status = 1;
    return response;
}

PduHolder answerFrom(ScopedSession& session, int32_t status, PduHolder reply)
{
    if (status == SyncAgentSilent)
        session.setAgentSilent();
    if (status != 0 || reply == nullptr)
        return nullptr;
    scriptState().lastErrorStatus = static_cast<uint32_t>(reply->errorStatus);
    if (!isResponse(reply.get()) || reply->errorStatus != 0)
        return nullptr;
    return reply;
}

PduHolder answerTo(ScopedSession& session, PduHolder request)
{
    int32_t status = 0;
    PduHolder reply = replyTo(session, std::move(request), &status);
    return answerFrom(session, status, std::move(reply));
}

VarListHolder requestVariable(ScopedSession& session, PduHolder request)
{
    const ScriptState& state = scriptState();
    PduHolder response = answerTo(session, std::move(request));
    if (response == nullptr)
        return nullptr;
    VarBind* found = findVar(response->variables, state.lastOid, state.lastOidCount);
    if (found != nullptr) {
        unlinkVar(response.get(), found);
        found->next = nullptr;
    }
    return VarListHolder(found);
}

VarListHolder getVariable(ScopedSession& session)
{
    PduHolder request = requestForLastOid(PduGetRequest);
    return request != nullptr ? requestVariable(session, std::move(request)) : nullptr;
}

VarListHolder takeVariables(PduHolder response)
{
    if (response == nullptr)
        return nullptr;
    VarListHolder list(response->variables);
    response->variables = nullptr;
    return list;
}

VarListHolder getNextVariables(ScopedSession& session)
{
    PduHolder request = requestForLastOid(PduGetNextRequest);
    return takeVariables(request != nullptr ? answerTo(session, std::move(request)) : nullptr);
}
