-- Object identifiers as text: parse, inspect and change them without a network.
local function show(label, value)
  print(string.format("%-40s %s", label, tostring(value)))
end

show("oidLength('system')", oidLength("system"))
show("oidLength('ifEntry.2.1')", oidLength("ifEntry.2.1"))
show("oidGetValue('enterprises.9', 6)", oidGetValue("enterprises.9", 6))
show("oidSetValue('system.1', 8, 0)", oidSetValue("system.1", 8, 0))
show("oidSetValue('1.3.6', 5, 7)", oidSetValue("1.3.6", 5, 7))
show("oidLength('1..3')  (invalid)", oidLength("1..3"))

-- Walk the sub-identifiers of an OID.
local oid = "mib-2.2.2.1.10.1"
local parts = {}
for i = 0, oidLength(oid) - 1 do
  parts[#parts + 1] = oidGetValue(oid, i)
end
show("sub-identifiers of " .. oid, table.concat(parts, " "))

local info = vantor.module_info()
show("module", info.name .. " " .. info.version .. " (" .. info.description .. ")")
show("constants", #vantor.defines())
show("functions", #vantor.functions())
