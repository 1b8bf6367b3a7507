// The boundary between the host application and the module: the host's value
// and context records, the three tables the module hands over, and the
// entry points the host calls.
#pragma once

#include "platform/host_string.h"
#include "platform/win_types.h"
#include "platform/window_messages.h"

#define VTR_EXPORT extern "C" __attribute__((visibility("default")))

// Value type words of a HostValue.
enum : uint32_t {
    HostTypeEmpty = 0,
    HostTypeNumber = 0x1000,  // compared after masking with 0xF000: the low 12 bits are free
    HostTypeString = 0x2000,  // compared exactly
};

// The host's script value. Members in the host's order, packed to 4 bytes.
// The host's own record is 20 bytes (the string is a 32-bit pointer there);
// on this 64-bit platform the string member is pointer-sized, so it is 24.
// Arguments arrive as a contiguous array of these.
#pragma pack(push, 4)
struct HostValue {
    uint32_t type = HostTypeEmpty;
    double number = 0.0;
    CString text;
    uint32_t extra = 0;  // names a host binary variable when text is "BIN"
};
#pragma pack(pop)
static_assert(sizeof(HostValue) == 24, "HostValue is packed to 4 bytes");

inline bool isNumberValue(const HostValue& value) { return (value.type & 0xF000u) == HostTypeNumber; }
inline bool isStringValue(const HostValue& value) { return value.type == HostTypeString; }

// The host's context record; the module reads only the window handle, which
// stands behind four 32-bit words of the host's own.
struct HostContext {
    uint32_t hostWords[4];
    HWND window;
};

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
