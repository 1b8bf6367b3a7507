#include "script/request_functions.h"

#include "module/host_services.h"
#include "script/module_state.h"
#include "script/oid_text.h"

// The protocol engine is not in yet: the requests check their arguments and
// take over the target and OID as they will, then leave the result empty.
void snmpget(const HostValue* args, HostValue&)
{
    if (!isStringValue(args[0]) || !isStringValue(args[1]) || !isStringValue(args[2]))
        return;
    CurrentPeer = args[0].text;
    CurrentCommunity = args[1].text;
    ScriptState& state = scriptState();
    state.lastOidCount = LastOidCapacity;
    if (!parseOidString(args[2].text, state.lastOid, &state.lastOidCount)) {
        reportInvalidValue(args[2].text);
        return;
    }
}

void snmpgetEx(const HostValue*, HostValue&) {}
void snmpgetnext(const HostValue*, HostValue&) {}
void snmpset(const HostValue*, HostValue&) {}
void snmpsetEx(const HostValue*, HostValue&) {}
