-- A get-next walk and sets in user-based mode: every step opens its own
-- session (discovering the agent only the first time) and reaches the same
-- variables SNMPv1 does.
local T = require("testlib")
local E = require("e2elib")
local U = require("useclib")

local function compare(a, b) return E.oid_compare(a, b) end

U.main(function()
  local agent = U.start_agent("--user auth:" .. U.PHRASE .. " --user plain --rows 3 --community public --community private")
  local community = "/auth/" .. U.PHRASE

  -- Walk the generated table: three columns of three rows.
  local subtree = "1.3.6.1.4.1.99999.2"
  local first, objid, messages = U.get(agent, community, subtree)
  T.eq(first, "", "the table's own name: noSuchObject")
  T.eq(objid, subtree, "the walk starts at the table's name")
  T.eq(#messages, 0, "no message at the start")
  local walked = {}
  while true do
    local before = snmpobjid()
    local list, value = E.with_messages(snmpgetnext)
    local name = snmpobjid()
    T.eq(#list, 0, "walk step after " .. before .. ": no message")
    if name == "" or compare(name, before) <= 0 or not E.oid_within(name, subtree) then break end
    walked[#walked + 1] = {name, value}
  end
  T.eq(#walked, 9, "nine cells")
  for column = 1, 3 do
    for row = 1, 3 do
      local cell = walked[(column - 1) * 3 + row]
      T.eq(cell[1], string.format("%s.1.%d.%d", subtree, column, row), "cell name")
      local want = ({row, "row " .. row, row * 1000})[column]
      T.eq(cell[2], want, "cell " .. cell[1])
    end
  end
  -- The first get discovered the agent; each step was a user-based get-next
  -- to the known agent, ending past the table.
  local log = U.take_log(agent, 2 + 10)
  local steps = 0
  for _, entry in ipairs(log) do
    if entry.command == "getnext" then
      steps = steps + 1
      U.expect_entry(entry, {version = "2", community = "auth", qos = "0x05", action = "answered"}, "walk step")
    end
  end
  T.eq(steps, 10, "ten get-next requests")

  -- The same walk in SNMPv1 gives the same cells.
  snmpgetEx(E.HOST, agent.port, 0, "public", subtree .. ".1.1.1")
  for i = 2, 9 do
    T.eq(snmpgetnext(), walked[i][2], "SNMPv1 cell " .. i)
    T.eq(snmpobjid(), walked[i][1], "SNMPv1 name " .. i)
  end

  -- Sets, authenticated and not; the value is stored, as a v1 get shows.
  local contact = "system.4.0"
  for _, case in ipairs({{community, "set with a digest"}, {"/plain", "set without a digest"}}) do
    local value = case[2]
    local list, result = E.with_messages(function()
      return snmpsetEx(E.HOST, agent.port, 0, case[1], contact, ASN_OCTET_STR, value, 2000, 2)
    end)
    T.eq(result, value, case[2] .. ": the echoed value")
    T.eq(#list, 0, case[2] .. ": no message")
    T.eq(snmpgetEx(E.HOST, agent.port, 0, "public", contact), value, case[2] .. ": stored")
    T.eq(snmpgetEx(E.HOST, agent.port, 0, case[1], contact), value, case[2] .. ": read back")
  end
  T.eq(snmpsetEx(E.HOST, agent.port, 0, community, "enterprises.99999.1.1.0", ASN_INTEGER, -7), -7,
    "an INTEGER set")
  T.eq(snmpgetEx(E.HOST, agent.port, 0, community, "enterprises.99999.1.1.0"), -7, "the INTEGER read back")

  -- A refused set gives SNMPv2 statuses: no creation of a missing name.
  local list, result = E.with_messages(function()
    return snmpsetEx(E.HOST, agent.port, 0, community, "enterprises.99999.9.0", ASN_INTEGER, 1, 2000, 2)
  end)
  T.eq(result, 0, "set of a missing name: the number 0")
  E.expect_messages(list, {{1127, "Couldn't get variable (enterprises.99999.9.0)"}}, "set of a missing name")
  T.eq(snmpGetLastError(), SNMP_ERR_NOCREATION, "set of a missing name: noCreation")
  local refused = U.wait_entry(agent, function(e) return e.command == "set" and e.status ~= "0" end, "refused set")
  U.expect_entry(refused, {version = "2", community = "auth", status = "11", index = "1", action = "answered"},
    "the refused set")
end)
