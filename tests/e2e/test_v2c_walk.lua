-- peers: snmpd
-- SNMPv2c through the "+" community: walks of subtrees that hold Counter64
-- objects, compared with `snmpwalk -v2c`, and the end of a v2c walk: the
-- endOfMibView binding converts to the empty string and leaves the name as it
-- was, so a walk has to notice that the name did not increase.
local T = require("testlib")
local E = require("e2elib")

local port = E.port("SNMPD_PORT")

local function c64(text)
  local h, l = text:match("^(%d+),(%d+)$")
  return (tonumber(h) << 32) | tonumber(l)
end

local function not_below(x, y) return x == y or math.ult(y, x) end

-- Walks the subtree with snmpgetnext after a get that fixes the start.
local function walk(community, subtree)
  local messages = T.capture_messages()
  local start = snmpgetEx(E.HOST, port, 0, community, subtree)
  T.eq(start, "", "the subtree's own name is no variable: the empty string")
  T.eq(snmpobjid(), subtree, "and the name stays for the walk")
  local list = {}
  while true do
    local asked = snmpobjid()
    local value = snmpgetnext()
    local oid = snmpobjid()
    T.eq(#messages, 0, "no message in a v2c walk")
    if not E.oid_within(oid, subtree) then break end
    T.eq(E.oid_compare(asked, oid), -1, "names increase")
    list[#list + 1] = {oid = oid, value = value}
  end
  vantor.on_message(nil)
  return list
end

local counters = 0
for _, subtree in ipairs({"1.3.6.1.2.1.31.1.1", "1.3.6.1.2.1.4.31.1"}) do
  local before = E.tool("snmpwalk", "2c", "public", port, subtree)
  local walked = walk("+public", subtree)
  local after = E.tool("snmpwalk", "2c", "public", port, subtree)
  T.eq(#walked, #before, subtree .. ": as many variables as snmpwalk -v2c found")
  T.eq(#after, #before, subtree .. ": the table kept its size")
  for i, entry in ipairs(walked) do
    local x, y = before[i], after[i]
    T.eq(entry.oid, x.oid, subtree .. ": name " .. i)
    if x.type == "Counter64" then
      counters = counters + 1
      T.truthy(type(entry.value) == "string" and entry.value:match("^%d+,%d+$"), entry.oid .. ": high,low text")
      local mine = c64(entry.value)
      T.truthy(not_below(mine, c64(E.counter64_text(x.value))), entry.oid .. ": not below the earlier reading")
      T.truthy(not_below(c64(E.counter64_text(y.value)), mine), entry.oid .. ": not above the later reading")
    else
      E.check_value(x, y, entry.value, entry.oid)
    end
  end
end
T.truthy(counters >= 10, "Counter64 values walked: " .. counters)
print("Counter64 values walked: " .. counters)

-- The end of the agent's view. The tool tells which name is last.
local tail = E.tool("snmpwalk", "2c", "public", port, "1.3.6.1.6.3")
if tail[#tail].type == "endOfMibView" then tail[#tail] = nil end  -- the tool's own closing line
local last = tail[#tail].oid
T.eq(E.tool("snmpgetnext", "2c", "public", port, last)[1].type, "endOfMibView", "the tool sees the end after " .. last)
do
  local value = snmpgetEx(E.HOST, port, 0, "+public", last)
  T.eq(value, E.expected_value(tail[#tail]), "the last variable")
  local messages = T.capture_messages()
  for round = 1, 2 do
    value = snmpgetnext()
    T.eq(value, "", "endOfMibView gives the empty string (round " .. round .. ")")
    T.eq(snmpobjid(), last, "endOfMibView leaves the name unchanged (round " .. round .. ")")
    T.eq(snmpGetLastError(), 0, "endOfMibView is no error status")
  end
  T.eq(#messages, 0, "endOfMibView sends no message")
  vantor.on_message(nil)
end
-- Past every name: the same.
T.eq(snmpgetEx(E.HOST, port, 0, "+public", "2.5"), "", "a get of 2.5: noSuchObject")
T.eq(snmpgetnext(), "", "a get-next of 2.5: endOfMibView")
T.eq(snmpobjid(), "2.5", "the name stays 2.5")

-- The same end in SNMPv1 is noSuchName.
do
  snmpgetEx(E.HOST, port, 0, "public", last)
  T.eq(snmpobjid(), last, "v1 get of the last variable")
  local messages, value = E.with_messages(snmpgetnext)
  T.eq(value, 0, "v1 end: the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (" .. last .. ")"}}, "v1 end")
  T.eq(snmpGetLastError(), SNMP_ERR_NOSUCHNAME, "v1 end: noSuchName")
  T.eq(snmpobjid(), "", "v1 end: snmpobjid empty")
end
print("ok")
