// The module information record and the define and function tables.
#include "module/module_tables.h"

#include "script/dispatcher.h"

namespace {

const ModuleInfo moduleInfo = {
    2, "SNMP", "1.01", 0x0409, "SNMP support", "Vantor SNMP team", "VSNMP", 0,
};

// Scripts use every one of these names, so all of them stay in the table.
const DefineEntry defineTable[] = {
    {"SNMP_TRAP_COLDSTART", 0},
    {"SNMP_TRAP_WARMSTART", 1},
    {"SNMP_TRAP_LINKDOWN", 2},
    {"SNMP_TRAP_LINKUP", 3},
    {"SNMP_TRAP_AUTHFAIL", 4},
    {"SNMP_TRAP_EGPNEIGHBORLOSS", 5},
    {"SNMP_TRAP_ENTERPRISESPECIFIC", 6},
    {"ASN_BOOLEAN", 1},
    {"ASN_INTEGER", 2},
    {"ASN_INTEGER32", 2},
    {"ASN_BIT_STR", 3},
    {"ASN_OCTETSTRING", 4},
    {"ASN_OCTET_STR", 4},
    {"ASN_NULL", 5},
    {"ASN_OBJECTIDENTIFIER", 6},
    {"ASN_OBJECT_ID", 6},
    {"ASN_IPADDRESS", 64},
    {"ASN_COUNTER", 65},
    {"ASN_COUNTER32", 65},
    {"ASN_GAUGE", 66},
    {"ASN_GAUGE32", 66},
    {"ASN_TIMETICKS", 67},
    {"ASN_OPAQUE", 68},
    {"ASN_NSAP", 69},
    {"ASN_COUNTER64", 70},
    {"ASN_UINTEGER", 71},
    {"ASN_UNSIGNED32", 71},
    {"ASN_SEQUENCE", 48},
    {"ASN_SEQUENCEOF", 48},
    {"ASN_UNIVERSAL", 0},
    {"ASN_APPLICATION", 64},
    {"ASN_CONTEXT", 128},
    {"ASN_PRIVATE", 192},
    {"ASN_PRIMITIVE", 0},
    {"ASN_CONSTRUCTOR", 32},
    {"SNMP_ERR_NOERROR", 0},
    {"SNMP_ERR_TOOBIG", 1},
    {"SNMP_ERR_NOSUCHNAME", 2},
    {"SNMP_ERR_BADVALUE", 3},
    {"SNMP_ERR_READONLY", 4},
    {"SNMP_ERR_GENERR", 5},
    {"SNMP_ERR_NOACCESS", 6},
    {"SNMP_ERR_WRONGTYPE", 7},
    {"SNMP_ERR_WRONGLENGTH", 8},
    {"SNMP_ERR_WRONGENCODING", 9},
    {"SNMP_ERR_WRONGVALUE", 10},
    {"SNMP_ERR_NOCREATION", 11},
    {"SNMP_ERR_INCONSISTENTVALUE", 12},
    {"SNMP_ERR_RESOURCEUNAVAILABLE", 13},
    {"SNMP_ERR_COMMITFAILED", 14},
    {"SNMP_ERR_UNDOFAILED", 15},
    {"SNMP_ERR_AUTHORIZATIONERROR", 16},
    {"SNMP_ERR_NOTWRITABLE", 17},
    {"SNMP_ERR_INCONSISTENTNAME", 18},
    {nullptr, 0},
};

const FunEntry functionTable[] = {
    {"snmpget", ScriptDispatcher, ScriptIdGet},
    {"snmpgetnext", ScriptDispatcher, ScriptIdGetNext},
    {"snmpobjid", ScriptDispatcher, ScriptIdObjId},
    {"snmpset", ScriptDispatcher, ScriptIdSet},
    {"snmpGetLastError", ScriptDispatcher, ScriptIdGetLastError},
    {"oidGetValue", ScriptDispatcher, ScriptIdOidGetValue},
    {"oidSetValue", ScriptDispatcher, ScriptIdOidSetValue},
    {"oidLength", ScriptDispatcher, ScriptIdOidLength},
    {"snmpgetEx", ScriptDispatcher, ScriptIdGetEx},
    {"snmpsetEx", ScriptDispatcher, ScriptIdSetEx},
    {"snmptrapEx", ScriptDispatcher, ScriptIdTrapEx},
    {nullptr, nullptr, 0},
};

}  // namespace

const ModuleInfo* moduleInfoRecord() { return &moduleInfo; }
const DefineEntry* defineTableRows() { return defineTable; }
const FunEntry* functionTableRows() { return functionTable; }
