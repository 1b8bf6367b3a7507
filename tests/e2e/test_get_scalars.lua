-- peers: snmpd
-- snmpget of variables of every kind that Net-SNMP's agent offers, compared
-- with what `snmpget -v1` and `snmpget -v2c` print for the same names, and the
-- failures of a get: noSuchName in SNMPv1, the exception values of SNMPv2c.
local T = require("testlib")
local E = require("e2elib")

local port = E.port("SNMPD_PORT")

-- The kind of a binding as far as a script can tell them apart.
local function kind_of(entry)
  if entry.type == "Hex-STRING" then
    if entry.bytes == "" then return "empty string" end
    return entry.bytes:find("[^\32-\126]") and "binary string" or "text string"
  end
  return entry.type
end

-- Up to three names of each kind, scalars (".0") first; none from tables
-- whose rows come and go (a vanished name would fail the tool's whole get).
local function pick(walk)
  local chosen, order = {}, {}
  for pass = 1, 2 do
    for _, entry in ipairs(walk) do
      local scalar = entry.oid:match("%.0$") ~= nil
      if (pass == 1) == scalar and entry.value ~= nil and not E.within_any(entry.oid, E.LOOSE) then
        local kind = kind_of(entry)
        if not chosen[kind] then chosen[kind] = {}; order[#order + 1] = kind end
        if #chosen[kind] < 3 then table.insert(chosen[kind], entry.oid) end
      end
    end
  end
  return chosen, order
end

local function by_oid(list)
  local map = {}
  for _, entry in ipairs(list) do map[entry.oid] = entry end
  return map
end

local function get_and_compare(version, community, chosen, order)
  local names = {}
  for _, kind in ipairs(order) do
    for _, oid in ipairs(chosen[kind]) do names[#names + 1] = oid end
  end
  local before = by_oid(E.tool("snmpget", version, "public", port, table.concat(names, " ")))
  local results = {}
  local messages = T.capture_messages()
  for _, oid in ipairs(names) do
    results[oid] = snmpgetEx(E.HOST, port, 0, community, oid)
    T.eq(snmpobjid(), oid, "snmpobjid after the get of " .. oid)
    T.eq(snmpGetLastError(), 0, "error status after the get of " .. oid)
  end
  vantor.on_message(nil)
  T.eq(#messages, 0, "no message for names that exist")
  local after = by_oid(E.tool("snmpget", version, "public", port, table.concat(names, " ")))
  local tally = {exact = 0, kind = 0}
  for _, kind in ipairs(order) do
    for _, oid in ipairs(chosen[kind]) do
      local how = E.check_value(before[oid], after[oid], results[oid],
        string.format("v%s %s %s", version, kind, oid))
      tally[how] = tally[how] + 1
    end
  end
  return tally
end

-- SNMPv1: every kind of the v1 view of the agent.
local walk1 = E.tool("snmpwalk", "1", "public", port, ".1")
local chosen, order = pick(walk1)
for _, kind in ipairs({"INTEGER", "Counter32", "Gauge32", "Timeticks", "OID", "IpAddress",
                       "text string", "binary string", "empty string"}) do
  T.truthy(chosen[kind], "the agent offers a variable of kind " .. kind)
end
local tally = get_and_compare("1", "public", chosen, order)
T.truthy(tally.exact >= 10, "most values compared exactly (" .. tally.exact .. ")")
print(string.format("v1: %d kinds, %d values exact, %d by kind: %s", #order, tally.exact, tally.kind,
  table.concat(order, ", ")))

-- Well-known scalars by name, with the prefixes of the OID text.
T.eq(snmpgetEx(E.HOST, port, 0, "public", "system.5.0"), E.tool("snmpget", "1", "public", port,
  "1.3.6.1.2.1.1.5.0")[1].bytes, "sysName through the prefix system")
T.eq(snmpobjid(), "1.3.6.1.2.1.1.5.0", "snmpobjid gives the name without the prefix")
T.eq(snmpgetEx(E.HOST, port, 0, "public", "mib-2.1.8.0"), math.tointeger(tonumber(
  E.tool("snmpget", "1", "public", port, "1.3.6.1.2.1.1.8.0")[1].value:match("%((%d+)%)"))), "sysORLastChange through mib-2")

-- SNMPv2c through "+": the Counter64 objects appear only there.
local walk2 = E.tool("snmpwalk", "2c", "public", port, ".1")
local chosen2, order2 = pick(walk2)
T.truthy(chosen2["Counter64"], "the agent offers Counter64 objects in SNMPv2c")
local tally2 = get_and_compare("2c", "+public", chosen2, order2)
print(string.format("v2c: %d kinds, %d values exact, %d by kind", #order2, tally2.exact, tally2.kind))

-- A Counter64 read lies between two readings of the tool (they only grow).
local function c64(text) local h, l = text:match("^(%d+),(%d+)$"); return (tonumber(h) << 32) | tonumber(l) end
for _, oid in ipairs(chosen2["Counter64"]) do
  local low = c64(E.counter64_text(E.tool("snmpget", "2c", "public", port, oid)[1].value))
  local mine = snmpgetEx(E.HOST, port, 0, "+public", oid)
  local high = c64(E.counter64_text(E.tool("snmpget", "2c", "public", port, oid)[1].value))
  T.truthy(type(mine) == "string" and mine:match("^%d+,%d+$"), "Counter64 as high,low: " .. tostring(mine))
  T.truthy(math.ult(low, c64(mine)) or low == c64(mine), "Counter64 " .. oid .. " not below the earlier reading")
  T.truthy(math.ult(c64(mine), high) or high == c64(mine), "Counter64 " .. oid .. " not above the later reading")
end
-- In SNMPv1 the same name does not exist.
do
  local oid = chosen2["Counter64"][1]
  local messages, value = E.with_messages(function() return snmpgetEx(E.HOST, port, 0, "public", oid) end)
  T.eq(value, 0, "Counter64 in SNMPv1: the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (" .. oid .. ")"}}, "Counter64 in SNMPv1")
  T.eq(snmpGetLastError(), SNMP_ERR_NOSUCHNAME, "Counter64 in SNMPv1: noSuchName")
end

-- SNMPv1 get of a missing name: noSuchName, 1127 with the OID as written, 0, empty snmpobjid.
do
  local messages, value = E.with_messages(function() return snmpgetEx(E.HOST, port, 0, "public", "system.99.0") end)
  T.eq(value, 0, "missing name: the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.99.0)"}}, "missing name")
  T.eq(snmpGetLastError(), 2, "missing name: error status noSuchName")
  T.eq(snmpobjid(), "", "missing name: snmpobjid empty")
  -- A scalar needs its instance ".0": the object's own name is no variable.
  messages, value = E.with_messages(function() return snmpgetEx(E.HOST, port, 0, "public", "system.5") end)
  T.eq(value, 0, "scalar without .0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.5)"}}, "scalar without .0")
  -- A later good response sets the status back to 0.
  T.truthy(type(snmpgetEx(E.HOST, port, 0, "public", "system.5.0")) == "string", "good get after a failure")
  T.eq(snmpGetLastError(), 0, "error status back to 0")
end

-- SNMPv2c exception values: the empty string, no message, the name kept.
for _, case in ipairs({
  {"system.99.0", "noSuchObject", "1.3.6.1.2.1.1.99.0"},
  {"system.5", "noSuchInstance", "1.3.6.1.2.1.1.5"},
  {"system.5.1", "noSuchInstance", "1.3.6.1.2.1.1.5.1"},
}) do
  local oid, exception, numeric = case[1], case[2], case[3]
  T.eq(E.tool("snmpget", "2c", "public", port, numeric)[1].type, exception, "the tool sees " .. exception)
  local messages, value = E.with_messages(function() return snmpgetEx(E.HOST, port, 0, "+public", oid) end)
  T.eq(value, "", exception .. " gives the empty string")
  T.eq(#messages, 0, exception .. " sends no message")
  T.eq(snmpobjid(), numeric, exception .. " keeps the name")
  T.eq(snmpGetLastError(), 0, exception .. " is no error status")
end

-- The remote port of snmpgetEx stays for snmpgetnext, and so do the peer and the community.
T.truthy(type(snmpgetEx(E.HOST, port, 0, "+public", "system.1.0")) == "string", "get of sysDescr")
local next_value = snmpgetnext()
T.eq(snmpobjid(), "1.3.6.1.2.1.1.2.0", "snmpgetnext went to the same agent")
T.eq(next_value, (E.tool("snmpget", "1", "public", port, "1.3.6.1.2.1.1.2.0")[1].value:gsub("^%.", "")), "sysObjectID")
print("ok")
