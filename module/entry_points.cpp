#include "module/entry_points.h"

#include <cstdlib>
#include <cstring>

#include "hostapi/host_messages.h"
#include "module/module_tables.h"
#include "script/dispatcher.h"
#include "snmp/snmp.h"

VTR_EXPORT BYTE VTR_InitModule(HostContext* context)
{
    const char* dump = std::getenv(DatagramDumpVariable);
    setDatagramDump(dump != nullptr && dump[0] != 0 && std::strcmp(dump, "0") != 0);
    if (context == nullptr)
        return 1;
    HostServices& services = hostServices();
    services.context = context;
    services.binLookup =
        reinterpret_cast<BinLookupService>(sendHostMessage(HostMsgServices, HostServiceBinLookup, 0));
    services.binAccess =
        reinterpret_cast<BinAccessService>(sendHostMessage(HostMsgServices, HostServiceBinAccess, 0));
    return 1;
}

VTR_EXPORT int32_t VTR_ExitModule()
{
    ScriptExit();
    return 0;
}

VTR_EXPORT const ModuleInfo* VTR_GetModuleInfo() { return moduleInfoRecord(); }

VTR_EXPORT const DefineEntry* VTR_GetDefineTable() { return defineTableRows(); }

VTR_EXPORT const FunEntry* VTR_GetFunTable() { return functionTableRows(); }

VTR_EXPORT BYTE VTR_Initialize() { return 1; }
