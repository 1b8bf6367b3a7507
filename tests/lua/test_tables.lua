-- The module's tables as the host reads them.
local T = require("testlib")

local info = vantor.module_info()
T.eq(info.format, 2, "format")
T.eq(info.name, "SNMP", "name")
T.eq(info.version, "1.01", "version")
T.eq(info.language, 0x0409, "language")
T.eq(info.description, "SNMP support", "description")
T.eq(#info.code, 5, "module code length")
T.truthy(#info.author > 0, "author")
T.eq(info.reserved, 0, "last member")

local defines = vantor.defines()
T.eq(#defines, 54, "define rows")
local first, last = defines[1], defines[#defines]
T.eq(first.name, "SNMP_TRAP_COLDSTART", "first define")
T.eq(last.name, "SNMP_ERR_INCONSISTENTNAME", "last define")
T.eq(last.value, 18, "last define value")
local seen = {}
for i, row in ipairs(defines) do
  T.eq(_G[row.name], row.value, "global " .. row.name)
  T.eq(seen[row.name], nil, "define named twice: " .. row.name)
  seen[row.name] = i
end
-- Exact case, and order within the groups.
T.eq(ASN_COUNTER64, 70, "ASN_COUNTER64")
T.eq(ASN_IPADDRESS, 64, "ASN_IPADDRESS")
T.eq(SNMP_TRAP_ENTERPRISESPECIFIC, 6, "SNMP_TRAP_ENTERPRISESPECIFIC")
T.eq(SNMP_ERR_NOSUCHNAME, 2, "SNMP_ERR_NOSUCHNAME")
T.truthy(seen.ASN_BOOLEAN < seen.ASN_CONSTRUCTOR, "value types in order")
T.truthy(seen.SNMP_TRAP_EGPNEIGHBORLOSS < seen.ASN_BOOLEAN, "trap types first")
T.truthy(seen.ASN_CONSTRUCTOR < seen.SNMP_ERR_NOERROR, "error statuses last")

local functions = vantor.functions()
local expected = {
  {"snmpget", 0}, {"snmpgetnext", 3}, {"snmpobjid", 4}, {"snmpset", 2},
  {"snmpGetLastError", 9}, {"oidGetValue", 5}, {"oidSetValue", 6}, {"oidLength", 7},
  {"snmpgetEx", 10}, {"snmpsetEx", 12}, {"snmptrapEx", 13},
  {"snmpaddvar", 14}, {"snmpclearvars", 15}, {"snmpgetvars", 16}, {"snmpgetvarsEx", 17},
  {"snmpsetvars", 18}, {"snmpsetvarsEx", 19}, {"snmpvar", 20}, {"snmpreadahead", 21},
  {"snmpnotifyEx", 22}, {"snmpinformEx", 23}, {"snmpengineidEx", 24},
}
T.eq(#functions, #expected, "function rows")
for i, e in ipairs(expected) do
  T.eq(functions[i].name, e[1], "function row " .. i)
  T.eq(functions[i].id, e[2], "id of " .. e[1])
  T.eq(type(_G[e[1]]), "function", "global " .. e[1])
end
T.eq(_G.snmpgetlasterror, nil, "names keep their case")
print("ok")
