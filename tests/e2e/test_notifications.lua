-- peers: snmptrapd
-- SNMPv2c notifications to Net-SNMP's trap receiver: an SNMPv2-Trap and an
-- acknowledged InformRequest, each logged with every binding in order.
local T = require("testlib")
local E = require("e2elib")

local receiver = E.port("TRAPD_PORT")
local log_path = E.env("TRAPD_LOG")

snmpclearvars()
snmpaddvar("ifEntry.1.3", ASN_INTEGER, 3)
snmpaddvar("system.5.0", ASN_OCTET_STR, "host-a")
T.eq(snmpnotifyEx(E.HOST, receiver, 0, "public", "1.3.6.1.6.3.1.1.5.3"), 1, "the trap went out")
T.eq(snmpinformEx(E.HOST, receiver, 0, "+public", "1.3.6.1.6.3.1.1.5.4", 2000, 2), 1, "the inform was acknowledged")

-- The receiver writes its lines a moment after it received them.
local lines = {}
for _ = 1, 100 do
  lines = {}
  for line in E.read_file(log_path):gmatch("[^\n]+") do
    if line:find("^%.1%.3%.6%.1%.2%.1%.1%.3%.0 = Timeticks") then lines[#lines + 1] = line end
  end
  if #lines >= 2 then break end
  os.execute("sleep 0.05")
end
T.eq(#lines, 2, "two notifications logged")
for i, trap in ipairs({"1.3.6.1.6.3.1.1.5.3", "1.3.6.1.6.3.1.1.5.4"}) do
  local oid, rest = lines[i]:match("\t%.1%.3%.6%.1%.6%.3%.1%.1%.4%.1%.0 = OID: %.([%d%.]+)\t(.*)$")
  T.eq(oid, trap, "snmpTrapOID.0 of notification " .. i)
  T.eq(rest, '.1.3.6.1.2.1.2.2.1.1.3 = INTEGER: 3\t.1.3.6.1.2.1.1.5.0 = STRING: "host-a"',
    "the listed bindings of notification " .. i)
end
print("ok")
