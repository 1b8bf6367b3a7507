-- peers: snmpd snmptrapd ipv6
-- Over IPv6 against Net-SNMP's agent on ::1: SNMPv1, SNMPv2c and SNMPv3 gets,
-- sets and walks, each answered as the same agent answers over IPv4; then an
-- SNMPv1 trap and an SNMPv2c notification to the trap receiver on ::1, the
-- trap carrying the module's own IPv4 address (or 0.0.0.0) as agent address.
local T = require("testlib")
local E = require("e2elib")

local port4, port6 = E.port("SNMPD_PORT"), E.port("SNMPD_PORT6")
local V3 = "#ipv6user/SHA:ipv6auth123/AES:ipv6priv123"
local SYSTEM = "1.3.6.1.2.1.1"

-- The names of the system group, walked with getnext from `peer`.
local function walk(peer, port, community)
  local names = {}
  E.with_messages(function() snmpgetEx(peer, port, 0, community, SYSTEM) end)  -- no instance: 1127
  while true do
    snmpgetnext()
    local name = snmpobjid()
    if name == "" or not E.oid_within(name, SYSTEM) or name == names[#names] then break end
    names[#names + 1] = name
  end
  return table.concat(names, " ")
end

local rows = {
  {label = "SNMPv1", peer = "::1", read = "public", write = "private"},
  {label = "SNMPv2c", peer = "[::1]", read = "+public", write = "+private"},
  {label = "SNMPv3", peer = "::1", read = V3, write = V3},
}
for _, row in ipairs(rows) do
  local label = row.label .. " over " .. row.peer
  T.eq(snmpgetEx(row.peer, port6, 0, row.read, "system.5.0"), snmpgetEx(E.HOST, port4, 0, "public", "system.5.0"),
    label .. ": get")
  local text = "ipv6 " .. row.label
  T.eq(snmpsetEx(row.peer, port6, 0, row.write, "system.6.0", ASN_OCTET_STR, text), text, label .. ": set")
  T.eq(snmpgetEx(E.HOST, port4, 0, "public", "system.6.0"), text, label .. ": the set read over IPv4")
  local names = walk(row.peer, port6, row.read)
  T.truthy(#names > 0, label .. ": a walk")
  T.eq(names, walk(E.HOST, port4, "public"), label .. ": the walk as over IPv4")
end

-- Notifications to the receiver on ::1.
local receiver6, log_path = E.port("TRAPD_PORT6"), E.env("TRAPD_LOG")
T.eq(snmptrapEx("::1", receiver6, 0, "ipv6trap", 6, 17, "enterprises.4242"), 1, "the v1 trap went out")
T.eq(snmpnotifyEx("[::1]", receiver6, 0, "public", "1.3.6.1.6.3.1.1.5.3"), 1, "the notification went out")
local seen = E.poll(function()
  local log = E.read_file(log_path)
  local agent = log:match("%[([%d%.]+)%] %(via UDP/IPv6: %[::1%]:%d+%) TRAP, SNMP v1, community ipv6trap")
  local oid = log:match("UDP/IPv6: %[::1%]:%d+%]:\n[^\n]*OID: %.(1%.3%.6%.1%.6%.3%.1%.1%.5%.3)")
  if agent and oid then return {agent = agent, oid = oid} end
end, 10, "the receiver's log")
local own = "0.0.0.0"
local resolved = E.capture("getent ahostsv4 \"$(hostname)\" | head -1"):match("^([%d%.]+)")
if resolved then own = resolved end
T.eq(seen.agent, own, "the v1 trap's agent address: the own IPv4 address")
T.eq(seen.oid, "1.3.6.1.6.3.1.1.5.3", "the notification's trap OID")
print("ok")
