// The boundary between the host application and the module: the three tables
// the module hands over and the entry points the host calls. (The host's value
// and context records are in hostapi/.)
#pragma once

#include "hostapi/host_messages.h"
#include "hostapi/host_value.h"
#include "platform/win_types.h"

#define VTR_EXPORT extern "C" __attribute__((visibility("default")))

// Static module information. Eight members; the text members are pointers,
// pointer-sized on this platform.
struct ModuleInfo {
    uint32_t format;          // 2
    const char* name;         // "SNMP"
    const char* version;      // "1.01"
    uint32_t language;        // 0x0409, U.S. English
    const char* description;  // "SNMP support"
    const char* author;
    const char* code;         // five characters
    uint32_t reserved;        // 0
};

struct DefineEntry {
    const char* name;  // null ends the table
    int32_t value;
};

typedef HostValue (*ScriptHandler)(HostValue* args, int32_t id);

struct FunEntry {
    const char* name;  // null ends the table
    ScriptHandler handler;
    int32_t id;
};

// The exported entry points.
VTR_EXPORT BYTE VTR_InitModule(HostContext* context);
VTR_EXPORT int32_t VTR_ExitModule();
VTR_EXPORT const ModuleInfo* VTR_GetModuleInfo();
VTR_EXPORT const DefineEntry* VTR_GetDefineTable();
VTR_EXPORT const FunEntry* VTR_GetFunTable();
VTR_EXPORT BYTE VTR_Initialize();
