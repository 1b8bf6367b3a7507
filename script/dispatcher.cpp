#include "script/dispatcher.h"

#include "platform/critical_section.h"
#include "script/binding_list.h"
#include "script/notification_functions.h"
#include "script/oid_functions.h"
#include "script/read_ahead.h"
#include "script/request_functions.h"
#include "script/trap_function.h"
#include "snmp/snmp.h"

namespace {

// One script call at a time: the module's state, and the socket the engine
// keeps between calls, are not for two threads at once. The section is
// recursive, so a host that calls again from a message handler is served.
struct ModuleLock {
    CRITICAL_SECTION section;
    ModuleLock() { InitializeCriticalSection(&section); }
    ~ModuleLock() { DeleteCriticalSection(&section); }
};

class HeldModuleLock {
public:
    HeldModuleLock()
    {
        static ModuleLock lock;
        section_ = &lock.section;
        EnterCriticalSection(section_);
    }
    ~HeldModuleLock() { LeaveCriticalSection(section_); }
    HeldModuleLock(const HeldModuleLock&) = delete;
    HeldModuleLock& operator=(const HeldModuleLock&) = delete;

private:
    CRITICAL_SECTION* section_;
};

}  // namespace

void ScriptExit()
{
    HeldModuleLock held;
    dropReadAhead();
    releaseBindingList();
    releaseKeptSockets();
}

HostValue ScriptDispatcher(HostValue* args, int32_t id)
{
    HostValue result;
    if (args == nullptr)
        return result;
    HeldModuleLock held;
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
        case ScriptIdAddVar: snmpaddvar(args, result); break;
        case ScriptIdClearVars: snmpclearvars(args, result); break;
        case ScriptIdGetVars: snmpgetvars(args, result); break;
        case ScriptIdGetVarsEx: snmpgetvarsEx(args, result); break;
        case ScriptIdSetVars: snmpsetvars(args, result); break;
        case ScriptIdSetVarsEx: snmpsetvarsEx(args, result); break;
        case ScriptIdVar: snmpvar(args, result); break;
        case ScriptIdReadAhead: snmpreadahead(args, result); break;
        case ScriptIdNotifyEx: snmpnotifyEx(args, result); break;
        case ScriptIdInformEx: snmpinformEx(args, result); break;
        case ScriptIdEngineIdEx: snmpengineidEx(args, result); break;
        default: break;
        }
    } catch (...) {
        // Nothing may escape towards the host.
        result = HostValue();
    }
    return result;
}
