// The exchange of a script function with its agent: the session opened for
// the call and closed with it, the request sent and its reply taken apart.
// The engine keeps its plain records; here they are held by owners that
// release them whatever way the call ends.
#pragma once

#include <cstdint>
#include <memory>

#include "snmp/snmp.h"

struct PduRelease {
    void operator()(SnmpPdu* pdu) const { freePdu(pdu); }
};
struct VarListRelease {
    void operator()(VarBind* list) const { freeVarList(list); }
};
// A PDU, and a list of bindings, that the script layer owns.
using PduHolder = std::unique_ptr<SnmpPdu, PduRelease>;
using VarListHolder = std::unique_ptr<VarBind, VarListRelease>;

// A session for one call: opened from the settings (with the synchronous
// callback installed) and closed when the guard ends. When the engine cannot
// open it, the host is told "Couldn't open snmp" (1128) and the guard is empty.
class ScopedSession {
public:
    explicit ScopedSession(SnmpSession settings);
    ~ScopedSession();
    ScopedSession(const ScopedSession&) = delete;
    ScopedSession& operator=(const ScopedSession&) = delete;

    SnmpSession* get() const { return session_; }
    explicit operator bool() const { return session_ != nullptr; }

    // The agent the open recalled from an earlier call answered nothing:
    // the host has been told "Couldn't open snmp" (1128), as when a
    // discovery finds nobody, and the call's result stays empty.
    bool agentSilent() const { return agentSilent_; }
    void setAgentSilent();

private:
    SnmpSession* session_;
    bool agentSilent_ = false;
};

// The settings of a session: peer and community texts (which must outlive
// the open), ports, the timeout in milliseconds and the retries.
SnmpSession sessionSettings(const char* peer, const char* community, uint16_t remotePort, uint16_t localPort,
                            int32_t timeoutMs, int32_t retries);

// A session for the module-wide target and settings; remembers the ports for
// the next get-next (also when the open fails).
ScopedSession openRequestSession(uint16_t remotePort, uint16_t localPort);

// A request of the command for the module-wide OID, or none.
PduHolder requestForLastOid(int32_t command);

// Sends the request (the engine takes it over) and waits: the reply that
// ended the wait (a Response or a Report), or none with *status the
// synchronous request's answer (1 also when no reply came with a 0). Nothing
// is recorded or reported.
PduHolder replyTo(ScopedSession& session, PduHolder request, int32_t* status);

// What answerTo makes of replyTo's outcome.
PduHolder answerFrom(ScopedSession& session, int32_t status, PduHolder reply);

// A response's bindings, detached from it (the response is released).
VarListHolder takeVariables(PduHolder response);

// Sends the request (the engine takes it over) and waits. The Response
// without an error status that came back, or none. The error status of
// whatever reply ended the wait, a Report's too, is recorded for the script;
// a silent recalled agent is marked on the session (agentSilent).
PduHolder answerTo(ScopedSession& session, PduHolder request);

// The binding named by the module-wide OID out of the response to request,
// standing alone, or none.
VarListHolder requestVariable(ScopedSession& session, PduHolder request);

// A get of the module-wide OID: the binding of that name, or none.
VarListHolder getVariable(ScopedSession& session);

// A get-next of the module-wide OID: the response's whole binding list, or none.
VarListHolder getNextVariables(ScopedSession& session);
