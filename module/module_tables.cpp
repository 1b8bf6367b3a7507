// The module information record and the define and function tables.
#include "module/module_tables.h"

#include "script/dispatcher.h"
#include "snmp/snmp.h"

namespace {

const ModuleInfo moduleInfo = {
    2, "SNMP", "1.01", 0x0409, "SNMP support", "Vantor SNMP team", "VSNMP", 0,
};

// A row named for the constant it exports.
#define DEFINE_ROW(constant) {#constant, constant}

// Scripts use every one of these names, so all of them stay in the table.
const DefineEntry defineTable[] = {
    DEFINE_ROW(SNMP_TRAP_COLDSTART),
    DEFINE_ROW(SNMP_TRAP_WARMSTART),
    DEFINE_ROW(SNMP_TRAP_LINKDOWN),
    DEFINE_ROW(SNMP_TRAP_LINKUP),
    DEFINE_ROW(SNMP_TRAP_AUTHFAIL),
    DEFINE_ROW(SNMP_TRAP_EGPNEIGHBORLOSS),
    DEFINE_ROW(SNMP_TRAP_ENTERPRISESPECIFIC),
    DEFINE_ROW(ASN_BOOLEAN),
    DEFINE_ROW(ASN_INTEGER),
    {"ASN_INTEGER32", ASN_INTEGER},
    DEFINE_ROW(ASN_BIT_STR),
    {"ASN_OCTETSTRING", ASN_OCTET_STR},
    DEFINE_ROW(ASN_OCTET_STR),
    DEFINE_ROW(ASN_NULL),
    {"ASN_OBJECTIDENTIFIER", ASN_OBJECT_ID},
    DEFINE_ROW(ASN_OBJECT_ID),
    DEFINE_ROW(ASN_IPADDRESS),
    DEFINE_ROW(ASN_COUNTER),
    {"ASN_COUNTER32", ASN_COUNTER},
    DEFINE_ROW(ASN_GAUGE),
    {"ASN_GAUGE32", ASN_GAUGE},
    DEFINE_ROW(ASN_TIMETICKS),
    DEFINE_ROW(ASN_OPAQUE),
    DEFINE_ROW(ASN_NSAP),
    DEFINE_ROW(ASN_COUNTER64),
    DEFINE_ROW(ASN_UINTEGER),
    {"ASN_UNSIGNED32", ASN_UINTEGER},
    DEFINE_ROW(ASN_SEQUENCE),
    {"ASN_SEQUENCEOF", ASN_SEQUENCE},
    DEFINE_ROW(ASN_UNIVERSAL),
    DEFINE_ROW(ASN_APPLICATION),
    DEFINE_ROW(ASN_CONTEXT),
    DEFINE_ROW(ASN_PRIVATE),
    DEFINE_ROW(ASN_PRIMITIVE),
    DEFINE_ROW(ASN_CONSTRUCTOR),
    DEFINE_ROW(SNMP_ERR_NOERROR),
    DEFINE_ROW(SNMP_ERR_TOOBIG),
    DEFINE_ROW(SNMP_ERR_NOSUCHNAME),
    DEFINE_ROW(SNMP_ERR_BADVALUE),
    DEFINE_ROW(SNMP_ERR_READONLY),
    DEFINE_ROW(SNMP_ERR_GENERR),
    DEFINE_ROW(SNMP_ERR_NOACCESS),
    DEFINE_ROW(SNMP_ERR_WRONGTYPE),
    DEFINE_ROW(SNMP_ERR_WRONGLENGTH),
    DEFINE_ROW(SNMP_ERR_WRONGENCODING),
    DEFINE_ROW(SNMP_ERR_WRONGVALUE),
    DEFINE_ROW(SNMP_ERR_NOCREATION),
    DEFINE_ROW(SNMP_ERR_INCONSISTENTVALUE),
    DEFINE_ROW(SNMP_ERR_RESOURCEUNAVAILABLE),
    DEFINE_ROW(SNMP_ERR_COMMITFAILED),
    DEFINE_ROW(SNMP_ERR_UNDOFAILED),
    DEFINE_ROW(SNMP_ERR_AUTHORIZATIONERROR),
    DEFINE_ROW(SNMP_ERR_NOTWRITABLE),
    DEFINE_ROW(SNMP_ERR_INCONSISTENTNAME),
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
    {"snmpaddvar", ScriptDispatcher, ScriptIdAddVar},
    {"snmpclearvars", ScriptDispatcher, ScriptIdClearVars},
    {"snmpgetvars", ScriptDispatcher, ScriptIdGetVars},
    {"snmpgetvarsEx", ScriptDispatcher, ScriptIdGetVarsEx},
    {"snmpsetvars", ScriptDispatcher, ScriptIdSetVars},
    {"snmpsetvarsEx", ScriptDispatcher, ScriptIdSetVarsEx},
    {"snmpvar", ScriptDispatcher, ScriptIdVar},
    {"snmpreadahead", ScriptDispatcher, ScriptIdReadAhead},
    {"snmpnotifyEx", ScriptDispatcher, ScriptIdNotifyEx},
    {"snmpinformEx", ScriptDispatcher, ScriptIdInformEx},
    {"snmpengineidEx", ScriptDispatcher, ScriptIdEngineIdEx},
    {nullptr, nullptr, 0},
};

}  // namespace

const ModuleInfo* moduleInfoRecord() { return &moduleInfo; }
const DefineEntry* defineTableRows() { return defineTable; }
const FunEntry* functionTableRows() { return functionTable; }
