-- Gets in user-based mode against snmp-test-agent: a user without
-- authentication, pass-phrase and hexadecimal keys, the published
-- localisation example from both sides, contexts, refusals, values of every
-- type as SNMPv2c gives them, and a trap whose digest the agent checks; an
-- agent that answered authenticated is known to later calls.
local T = require("testlib")
local E = require("e2elib")
local U = require("useclib")

local HEX = "0x00112233445566778899aabbccddeeff"

U.main(function()
  local agent = U.start_agent("--user auth:" .. U.PHRASE .. " --user plain --user hexkey:" .. HEX ..
    " --context ctx --boots 3 --time-offset 5000")

  -- A user without authentication: no digest, no clock in the request.
  local result, objid, messages = U.get(agent, "/plain", "system.5.0")
  T.eq(result, "test-agent", "/plain: value")
  T.eq(objid, "1.3.6.1.2.1.1.5.0", "/plain: snmpobjid")
  T.eq(#messages, 0, "/plain: no message")
  local log = U.take_log(agent, 2)
  T.eq(#log, 2, "/plain: discovery and the get")
  -- Discovery: an empty get, reportable only, the default user, nothing known yet.
  U.expect_entry(log[1], {version = "2", community = "kolbur", qos = "0x04", boots = "0", time = "0",
    context = '""', command = "get", action = "discovery", sent = "1"}, "discovery")
  T.eq(#log[1].bindings, 0, "discovery: no bindings")
  U.expect_entry(log[2], {version = "2", community = "plain", qos = "0x04", boots = "0", time = "0",
    context = '""', command = "get", action = "answered", sent = "1"}, "/plain get")
  T.eq(log[2].bindings[1].oid, "1.3.6.1.2.1.1.5.0", "/plain get: the name")

  -- Pass phrase and hexadecimal key: authenticated, carrying the agent's
  -- clock. The authenticated answer makes the agent known: the second call
  -- needs no discovery.
  for _, case in ipairs({{"/auth/" .. U.PHRASE, 2}, {"/hexkey/" .. HEX, 1}}) do
    local community, entries = case[1], case[2]
    result, objid, messages = U.get(agent, community, "system.5.0")
    T.eq(result, "test-agent", community .. ": value")
    T.eq(#messages, 0, community .. ": no message")
    log = U.take_log(agent, entries)
    T.eq(#log, entries, community .. ": entries")
    if entries == 2 then T.eq(table.remove(log, 1).action, "discovery", community .. ": discovery first") end
    U.expect_entry(log[1], {community = community:match("^/([^/]+)"), qos = "0x05", boots = "3",
      action = "answered"}, community)
    local time = tonumber(log[1].time)
    T.truthy(time >= 5000 and time < 5060, community .. ": the agent's time, learned at discovery: " .. log[1].time)
  end

  -- A context the agent knows, with and without authentication.
  for _, community in ipairs({"/auth/" .. U.PHRASE .. "//ctx", "/plain///ctx"}) do
    result = U.get(agent, community, "system.5.0")
    T.eq(result, "test-agent", community .. ": value")
    U.expect_entry(U.take_log(agent, 1)[1], {context = '"ctx"', action = "answered"}, community)
  end

  -- Refusals come back as reports, which carry no value: 1127. An unknown
  -- context is what the agent reports for another agent identifier too: the
  -- known agent is discovered again and asked once more. A call that times
  -- out forgets the agent: the next one discovers it.
  for _, case in ipairs({
    {"/auth/" .. U.PHRASE .. "//nope", {"unknown-context", "discovery", "unknown-context"}},
    {"/auth/wrong-phrase", {"discovery", "wrong-digest"}},
    {"/nobody", {"discovery", "unknown-user"}},
    {"/auth", {"discovery", "unsupported-qos"}},            -- the user has a key: no digest is not enough
    {"/plain/" .. U.PHRASE, {"discovery", "unsupported-qos"}}, -- and a user without one cannot authenticate
  }) do
    local community, actions = case[1], case[2]
    U.expect_no_value(agent, community, "system.5.0", community)
    log = U.take_log(agent, #actions)
    T.eq(#log, #actions, community .. ": entries")
    for i, action in ipairs(actions) do U.expect_entry(log[i], {action = action, sent = "1"}, community) end
  end

  -- Every value type arrives as SNMPv2c gives it.
  for n = 1, 16 do
    local oid = "enterprises.99999.1." .. n .. ".0"
    local v2c = snmpgetEx(E.HOST, agent.port, 0, "+public", oid, 2000, 2)
    local v2cName = snmpobjid()
    local usec = snmpgetEx(E.HOST, agent.port, 0, "/auth/" .. U.PHRASE, oid, 2000, 2)
    T.eq(usec, v2c, oid .. ": as SNMPv2c")
    T.eq(snmpobjid(), v2cName, oid .. ": snmpobjid as SNMPv2c")
  end
  T.eq(snmpgetEx(E.HOST, agent.port, 0, "/auth/" .. U.PHRASE, "enterprises.99999.1.11.0"), "1,5",
    "Counter64 in user-based mode")
  -- A missing name: noSuchObject, the empty string, no message.
  result, objid, messages = U.get(agent, "/auth/" .. U.PHRASE, "enterprises.99999.7.0")
  T.eq(result, "", "missing name: empty string")
  T.eq(#messages, 0, "missing name: no message")
  -- Sixteen SNMPv2c gets and sixteen user-based ones (the first with its
  -- discovery), the Counter64 one and this one.
  T.eq(#U.take_log(agent, 16 * 2 + 1 + 2), 16 * 2 + 1 + 2, "log of the value gets")

  -- A trap to the known agent: a version-2 trap whose digest the agent accepts.
  T.eq(snmptrapEx(E.HOST, agent.port, 0, "/auth/" .. U.PHRASE, 6, 17, "enterprises.99999", 2000, 2), 1, "trap sent")
  T.eq(snmptrapEx(E.HOST, agent.port, 0, "/auth/bad-phrase", 6, 18, "enterprises.99999", 2000, 2), 1,
    "trap with a wrong key sent")
  log = U.take_log(agent, 2)
  U.expect_entry(log[1], {version = "2", community = "auth", qos = "0x05", command = "trap",
    action = "not-a-request"}, "trap: its digest passed")
  U.expect_entry(log[2], {command = "trap", action = "wrong-digest"}, "trap with a wrong key")

  -- The published localisation example meets in the middle: the module
  -- localises the pass phrase to the agent's identifier 00..02 and the agent
  -- holds the published key; and the other way round.
  local rfc = U.start_agent("--engine-id " .. U.RFC_ENGINE_ID .. " --user pub:" .. U.RFC_KEY ..
    " --user phrase:" .. U.PHRASE)
  T.eq(U.get(rfc, "/pub/" .. U.PHRASE, "system.5.0"), "test-agent", "module localises to 00..02")
  T.eq(U.get(rfc, "/phrase/" .. U.RFC_KEY, "system.5.0"), "test-agent", "agent localises to 00..02")
  -- The same phrase with the default identifier is another key.
  U.expect_no_value(agent, "/auth/" .. U.RFC_KEY, "system.5.0", "published key, other identifier")
end)
