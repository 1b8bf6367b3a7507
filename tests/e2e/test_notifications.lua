-- peers: snmptrapd
-- snmptrapd-conf: createUser -e {module_engine_id} trapsha SHA trapshapass1 AES trapshapriv1
-- snmptrapd-conf: createUser -e {module_engine_id} trap256 SHA trap256pass1 AES-256 trap256priv1
-- snmptrapd-conf: createUser -e {module_engine_id} trapnone
-- snmptrapd-conf: createUser infsha SHA-256 infshapass1 AES infshapriv1
-- snmptrapd-conf: createUser infmd5 MD5 infmd5pass1 DES infmd5priv1
-- Notifications to Net-SNMP's trap receiver (its SNMPv3 users: NOTES.md):
-- SNMPv2c and SNMPv3 SNMPv2-Traps and acknowledged InformRequests, each
-- logged with every binding in order.
local T = require("testlib")
local E = require("e2elib")

local receiver = E.port("TRAPD_PORT")
local log_path = E.env("TRAPD_LOG")

-- The receiver was configured with the identifier the module takes on this machine.
T.eq(snmpengineidEx(), E.env("MODULE_ENGINE_ID"), "the module's engine identifier")

snmpclearvars()
snmpaddvar("ifEntry.1.3", ASN_INTEGER, 3)
snmpaddvar("system.5.0", ASN_OCTET_STR, "host-a")
local sent = {  -- function, community, trap OID
  {snmpnotifyEx, "public", "1.3.6.1.6.3.1.1.5.3"},
  {snmpinformEx, "+public", "1.3.6.1.6.3.1.1.5.4"},
  {snmpnotifyEx, "#trapsha/SHA:trapshapass1/AES:trapshapriv1", "1.3.6.1.4.1.99999.0.1"},
  {snmpnotifyEx, "#trap256/SHA:trap256pass1/AES-256:trap256priv1", "1.3.6.1.4.1.99999.0.3"},
  {snmpnotifyEx, "#trapnone/", "1.3.6.1.4.1.99999.0.4"},
  {snmpinformEx, "#infsha/SHA-256:infshapass1/AES:infshapriv1", "1.3.6.1.4.1.99999.0.5"},
  {snmpinformEx, "#infmd5/MD5:infmd5pass1/DES:infmd5priv1", "1.3.6.1.4.1.99999.0.6"},
}
for _, s in ipairs(sent) do
  T.eq(s[1](E.HOST, receiver, 0, s[2], s[3], 2000, 2), 1, s[3] .. " went out (and was acknowledged)")
end

-- The receiver writes its lines a moment after it received them.
local lines = {}
for _ = 1, 100 do
  lines = {}
  for line in E.read_file(log_path):gmatch("[^\n]+") do
    if line:find("^%.1%.3%.6%.1%.2%.1%.1%.3%.0 = Timeticks") then lines[#lines + 1] = line end
  end
  if #lines >= #sent then break end
  os.execute("sleep 0.05")
end
T.eq(#lines, #sent, "every notification logged")
for i, s in ipairs(sent) do
  local oid, rest = lines[i]:match("\t%.1%.3%.6%.1%.6%.3%.1%.1%.4%.1%.0 = OID: %.([%d%.]+)\t(.*)$")
  T.eq(oid, s[3], "snmpTrapOID.0 of notification " .. i)
  T.eq(rest, '.1.3.6.1.2.1.2.2.1.1.3 = INTEGER: 3\t.1.3.6.1.2.1.1.5.0 = STRING: "host-a"',
    "the listed bindings of notification " .. i)
end
print("ok")
