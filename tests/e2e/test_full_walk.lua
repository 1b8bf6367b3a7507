-- peers: snmpd
-- A walk of the whole agent with repeated snmpgetnext in SNMPv1, compared
-- name by name with `snmpwalk -v1` run just before and just after it, and the
-- end of the walk: noSuchName, message 1127, error status 2.
local T = require("testlib")
local E = require("e2elib")

local port = E.port("SNMPD_PORT")

local before = E.tool("snmpwalk", "1", "public", port, ".1")
T.truthy(#before > 1000, "the agent has a few thousand variables (" .. #before .. ")")

-- After a failed get snmpobjid is empty, and a get-next of the empty OID
-- gives the agent's first variable.
do
  local messages, value = E.with_messages(function() return snmpgetEx(E.HOST, port, 0, "public", "system.99.0") end)
  T.eq(value, 0, "positioning get of a missing name")
  T.eq(snmpobjid(), "", "snmpobjid empty after the failed get")
  T.eq(#messages, 1, "one message for the failed get")
  local first = snmpgetnext()
  T.eq(snmpobjid(), before[1].oid, "get-next of the empty OID gives the first variable")
  T.eq(first, E.expected_value(before[1]), "value of the first variable")
end

-- The walk itself.
local walked = {}
local messages = T.capture_messages()
local first = snmpgetEx(E.HOST, port, 0, "public", before[1].oid)
walked[1] = {oid = snmpobjid(), value = first}
while true do
  local asked = snmpobjid()
  local value = snmpgetnext()
  local oid = snmpobjid()
  if oid == "" then
    T.eq(value, 0, "the end of the walk gives the number 0")
    T.eq(#messages, 1, "one message at the end")
    T.eq(messages[1].id, 1127, "message 1127 at the end")
    T.eq(messages[1].text, "Couldn't get variable (" .. asked .. ")", "the message names the last variable")
    T.eq(snmpGetLastError(), SNMP_ERR_NOSUCHNAME, "the agent ended the walk with noSuchName")
    break
  end
  T.eq(#messages, 0, "no message inside the walk (after " .. asked .. ")")
  T.eq(E.oid_compare(asked, oid), -1, "names increase: " .. asked .. " then " .. oid)
  walked[#walked + 1] = {oid = oid, value = value}
  if #walked > 3 * #before then error("the walk does not end") end
end
vantor.on_message(nil)
-- Past the end it stays at the end.
do
  local messages2, value = E.with_messages(function() return snmpgetnext() end)
  T.eq(snmpobjid(), before[1].oid, "a get-next after the end starts again from the empty OID")
  T.eq(#messages2, 0, "and brings no message")
  T.eq(value, E.expected_value(before[1]), "with the first value")
end

local after = E.tool("snmpwalk", "1", "public", port, ".1")

-- Compare. Names in both snapshots must be walked; names the module saw that
-- neither snapshot has are allowed only in the loose tables.
local function index(list)
  local map = {}
  for _, entry in ipairs(list) do map[entry.oid] = entry end
  return map
end
local a, b, mine = index(before), index(after), index(walked)
local missing, extra = {}, {}
for _, entry in ipairs(before) do
  if b[entry.oid] and not mine[entry.oid] then missing[#missing + 1] = entry.oid end
end
local tally = {exact = 0, kind = 0, loose = 0}
for _, entry in ipairs(walked) do
  local x, y = a[entry.oid], b[entry.oid]
  if x and y then
    local how = E.check_value(x, y, entry.value, entry.oid)
    tally[how] = tally[how] + 1
  elseif x or y then
    T.truthy(E.same_kind(x or y, entry.value), entry.oid .. ": a row of one snapshot, checked by kind")
    tally.kind = tally.kind + 1
  elseif E.within_any(entry.oid, E.LOOSE) then
    tally.loose = tally.loose + 1
  else
    extra[#extra + 1] = entry.oid
  end
end
if #missing > 0 then error("not walked: " .. table.concat(missing, " ", 1, math.min(#missing, 20))) end
if #extra > 0 then error("walked but in no snapshot: " .. table.concat(extra, " ", 1, math.min(#extra, 20))) end
print(string.format("walked %d variables (snapshots %d and %d): %d exact, %d by kind, %d rows only the walk saw",
  #walked, #before, #after, tally.exact, tally.kind, tally.loose))
T.truthy(tally.exact > #walked / 2, "most values compared exactly")
print(string.format("walked %d variables (snapshots %d and %d): %d exact, %d by kind, %d rows only the walk saw",
  #walked, #before, #after, tally.exact, tally.kind, tally.loose))
print("ok")
