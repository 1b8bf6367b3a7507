#include "script/dispatcher.h"

#include "script/oid_functions.h"
#include "script/request_functions.h"
#include "script/trap_function.h"

HostValue ScriptDispatcher(HostValue* args, int32_t id)
{
    HostValue result;
    if (args == nullptr)
        return result;
    try {
        switch (id) {
        case ScriptIdGet: snmpget(args, result); break;
        case ScriptIdSet: snmpset(args, result); break;
        case ScriptIdGetNext: snmpgetnext(args, result); break;
        case ScriptIdGetEx: snmpgetEx(args, result); break;
        case ScriptIdSetEx: snmpsetEx(args, result); break;
        case ScriptIdTrapEx: snmptrapEx(args, result); break;
        case ScriptIdObjId: snmpobjid(args, result); break;
        case ScriptIdOidGetValue: oidGetValue(args, result); break;
        case ScriptIdOidSetValue: oidSetValue(args, result); break;
        case ScriptIdOidLength: oidLength(args, result); break;
        case ScriptIdGetLastError: snmpGetLastError(args, result); break;
        default: break;
        }
    } catch (...) {
        // Nothing may escape towards the host.
        result = HostValue();
    }
    return result;
}
