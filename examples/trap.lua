-- Sends one SNMPv1 trap.
--
--   vantor-lua examples/trap.lua [HOST[:PORT]] [COMMUNITY] [GENERIC] [SPECIFIC] [ENTERPRISE]
--
-- Defaults: 127.0.0.1, port 162 (the trap port; the module's own default
-- would be 161), community "public", generic type 6 (enterpriseSpecific),
-- specific type 1, enterprise enterprises.4242. An empty ENTERPRISE ("")
-- sends the module's default enterprise 1.3.6.1.4.1.3.1.1.
local target = arg[1] or "127.0.0.1"
local community = arg[2] or "public"
local generic = tonumber(arg[3] or SNMP_TRAP_ENTERPRISESPECIFIC)
local specific = tonumber(arg[4] or 1)
local enterprise = arg[5] or "enterprises.4242"
local host, port = target:match("^(.-):(%d+)$")
host, port = host or target, tonumber(port) or 162

local GENERIC = {
  [SNMP_TRAP_COLDSTART] = "coldStart", [SNMP_TRAP_WARMSTART] = "warmStart",
  [SNMP_TRAP_LINKDOWN] = "linkDown", [SNMP_TRAP_LINKUP] = "linkUp",
  [SNMP_TRAP_AUTHFAIL] = "authenticationFailure", [SNMP_TRAP_EGPNEIGHBORLOSS] = "egpNeighborLoss",
  [SNMP_TRAP_ENTERPRISESPECIFIC] = "enterpriseSpecific",
}

local notice
vantor.on_message(function(id, text) notice = string.format("message %d: %s", id, text) end)

-- The enterprise as it goes out, prefix names expanded.
local shown = enterprise == "" and "(the default 1.3.6.1.4.1.3.1.1)"
  or (oidLength(enterprise) > 0 and oidSetValue(enterprise, 0, oidGetValue(enterprise, 0)) or enterprise)

local result = snmptrapEx(host, port, 0, community, generic, specific, enterprise)
print(string.format("trap to %s:%d, community %q: generic %d (%s), specific %d, enterprise %s",
  host, port, community, generic, GENERIC[generic] or "not a standard type", specific, shown))
if result == 1 then
  print("sent (traps are not acknowledged: this says only that the datagram left)")
elseif result == 0 then
  print("the module could not send it")
else
  print("refused: " .. (notice or "wrong argument types"))
end
