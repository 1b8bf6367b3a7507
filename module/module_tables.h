// The module information record and the define and function tables the
// module hands over to the host.
#pragma once

#include <cstdint>

#include "hostapi/host_value.h"

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

static_assert(sizeof(void*) != 4 || sizeof(ModuleInfo) == 32, "the host's module information is eight 32-bit words");

const ModuleInfo* moduleInfoRecord();
const DefineEntry* defineTableRows();   // ends with a row whose name is null
const FunEntry* functionTableRows();    // ends with an all-zero row
