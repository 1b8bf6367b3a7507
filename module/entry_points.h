// The boundary between the host application and the module: the entry points
// the host calls. (The records they hand over are in module_tables.h, the
// host's value and context records in hostapi/.)
#pragma once

#include "hostapi/host_messages.h"
#include "module/module_tables.h"
#include "platform/win_types.h"

#define VTR_EXPORT extern "C" PLATFORM_EXPORT

// The environment variable that turns the dump of every datagram on when the
// module is initialised: any value but empty or "0".
constexpr char DatagramDumpVariable[] = "VANTOR_DUMP";

// The exported entry points.
VTR_EXPORT BYTE VTR_InitModule(HostContext* context);
VTR_EXPORT int32_t VTR_ExitModule();
VTR_EXPORT const ModuleInfo* VTR_GetModuleInfo();
VTR_EXPORT const DefineEntry* VTR_GetDefineTable();
VTR_EXPORT const FunEntry* VTR_GetFunTable();
VTR_EXPORT BYTE VTR_Initialize();
