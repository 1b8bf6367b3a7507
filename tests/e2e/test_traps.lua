-- peers: snmpd snmptrapd sink-well-known
-- snmptrapEx to Net-SNMP's trap receiver, read back from its log: generic
-- types 0 to 6, specific types, enterprises with and without a prefix, the
-- empty enterprise, the agent address and the uptime. The sink shows the
-- ports and what must not go out; a trap leaves the request state alone.
local T = require("testlib")
local E = require("e2elib")

local receiver = E.port("TRAPD_PORT")
local log_path = E.env("TRAPD_LOG")
local agent = E.port("SNMPD_PORT")
local sink = E.port("SINK_PORT")
local wk = os.getenv("SINK_WK_ADDR")
T.truthy(wk, "the sink could bind ports 161 and 162 on a loopback address")

local GENERIC_NAMES = {
  [0] = "Cold Start", "Warm Start", "Link Down", "Link Up", "Authentication Failure",
  "EGP Neighbor Loss", "Enterprise Specific",
}

-- Uptime in hundredths of a second, as this machine counts it now.
local function machine_uptime()
  local seconds = E.read_file("/proc/uptime"):match("^([%d%.]+)")
  return math.floor(tonumber(seconds) * 100)
end

local function hundredths(text)
  local days, h, m, s, cs = text:match("^(%d+) days?, (%d+):(%d+):(%d+)%.(%d+)$")
  if not days then
    days = "0"
    h, m, s, cs = text:match("^(%d+):(%d+):(%d+)%.(%d+)$")
  end
  if not h then error("cannot read the uptime " .. text) end
  return (((tonumber(days) * 24 + tonumber(h)) * 60 + tonumber(m)) * 60 + tonumber(s)) * 100 + tonumber(cs)
end

-- The receiver's log as a list of traps, keyed by their communities too.
local function read_log()
  local traps, by_community, current = {}, {}, nil
  for line in E.read_file(log_path):gmatch("[^\n]*") do
    local agent_name, address, from_port, to_port, community =
      line:match("^%d+%-%d+%-%d+ [%d:]+ (%S+) %[([%d%.]+)%] %(via UDP: %[[%d%.]+%]:(%d+)%->%[[%d%.]+%]:(%d+)%) TRAP, SNMP v1, community (.*)$")
    if agent_name then
      current = {agent = address, from = tonumber(from_port), to = tonumber(to_port), community = community}
      traps[#traps + 1] = current
      by_community[community] = current
    elseif current and not current.enterprise then
      local enterprise, name, specific, uptime = line:match("^\t%.([%d%.]+) (.-) Trap %((%-?%d+)%) Uptime: (.*)$")
      if enterprise then
        current.enterprise, current.generic_name = enterprise, name
        current.specific, current.uptime = tonumber(specific), hundredths(uptime)
      end
    end
  end
  return traps, by_community
end

local function wait_for(community)
  return E.poll(function()
    local _, by = read_log()
    local trap = by[community]
    return trap and trap.enterprise and trap
  end, 10, "trap " .. community .. " in the receiver's log")
end

-- The address the module should put in as the agent's: the first IPv4
-- address of this host's name, as the resolver gives it.
local expected_agent = E.run("/usr/bin/python3 -c 'import socket; print(socket.gethostbyname(socket.gethostname()))'")
  :match("^%s*(.-)%s*$")

-- Generic types 0 to 6 with their specific types.
local started = machine_uptime()
for generic = 0, 6 do
  local messages, result = E.with_messages(function()
    return snmptrapEx(E.HOST, receiver, 0, "trap-g" .. generic, generic, 17 + generic, "enterprises.4242.1")
  end)
  T.eq(result, 1, "generic " .. generic .. ": sent")
  T.eq(#messages, 0, "generic " .. generic .. ": no message")
end
local ended = machine_uptime()
for generic = 0, 6 do
  local trap = wait_for("trap-g" .. generic)
  T.eq(trap.enterprise, "1.3.6.1.4.1.4242.1", "generic " .. generic .. ": enterprise given with a prefix")
  T.eq(trap.generic_name, GENERIC_NAMES[generic], "generic " .. generic .. ": the receiver names the type")
  T.eq(trap.specific, 17 + generic, "generic " .. generic .. ": specific type")
  T.eq(trap.agent, expected_agent, "generic " .. generic .. ": agent address")
  T.eq(trap.to, receiver, "generic " .. generic .. ": to the receiver's port")
  T.truthy(trap.uptime >= started - 1 and trap.uptime <= ended + 1,
    string.format("generic %d: uptime %d between %d and %d", generic, trap.uptime, started, ended))
end
print("agent address " .. expected_agent .. ", uptime " .. wait_for("trap-g0").uptime .. " hundredths")

-- Enterprises: other prefixes, dotted decimal, the empty text (the engine's default).
for i, case in ipairs({
  {"enterprises.9", "1.3.6.1.4.1.9"},
  {"", "1.3.6.1.4.1.3.1.1"},
  {"system.1", "1.3.6.1.2.1.1.1"},
  {"1.3.6.1.4.1.4242.7.", "1.3.6.1.4.1.4242.7"},
}) do
  local community = "trap-e" .. i
  T.eq(snmptrapEx(E.HOST, receiver, 0, community, SNMP_TRAP_ENTERPRISESPECIFIC, i, case[1]), 1, "enterprise " .. case[1])
  local trap = wait_for(community)
  T.eq(trap.enterprise, case[2], "enterprise '" .. case[1] .. "'")
  T.eq(trap.specific, i, "enterprise '" .. case[1] .. "': specific type")
end

-- Types outside 0..6 and negative specific types go out as given.
T.eq(snmptrapEx(E.HOST, receiver, 0, "trap-odd", 7, -1, "enterprises.9"), 1, "generic 7, specific -1")
T.eq(wait_for("trap-odd").specific, -1, "specific -1 as a 32-bit value")
-- A local port of our choosing is the trap's source port.
do
  local chosen = E.port("SINK_FREE_PORT")
  T.eq(snmptrapEx(E.HOST, receiver, chosen, "trap-local", 6, 1, ""), 1, "trap from a chosen local port")
  T.eq(wait_for("trap-local").from, chosen, "the receiver saw the chosen source port")
end

-- Ports: 0 is 161, 162 is 162 and 65698 is 162 (low 16 bits); the sink
-- decodes the traps independently of the receiver.
local before_sink = machine_uptime()
for _, case in ipairs({{0, 161}, {162, 162}, {65698, 162}}) do
  T.eq(snmptrapEx(wk, case[1], 0, "trap-port", 6, case[1], "enterprises.9.9"), 1, "remote port " .. case[1])
  local got = E.sink_take()
  T.eq(#got, 1, "remote port " .. case[1] .. ": one datagram")
  local trap = got[1]
  T.eq(trap.local_port, case[2], "remote port " .. case[1] .. " reaches " .. case[2])
  T.eq(trap.pdu, "a4", "a v1 trap")
  T.eq(trap.version, "0", "SNMPv1")
  T.eq(trap.enterprise, "1.3.6.1.4.1.9.9", "enterprise")
  T.eq(trap.agent, expected_agent, "agent address")
  T.eq(tonumber(trap.generic), 6, "generic type")
  T.eq(tonumber(trap.specific), case[1], "specific type")
  T.eq(trap.vars, "", "no variable bindings")
  T.truthy(tonumber(trap.timestamp) >= before_sink - 1 and tonumber(trap.timestamp) <= machine_uptime() + 1,
    "time stamp is the uptime")
end

-- Refused before anything goes out: message 1129 or 1128, empty result.
local overlong = "1.3" .. string.rep(".1", 127)  -- one sub-identifier over the 128 a message may carry
local refused = {
  {"invalid enterprise", {E.HOST, receiver, 0, "trap-bad1", 6, 1, "1.3.x"}, 1129, "1.3.x"},
  {"overlong enterprise", {E.HOST, receiver, 0, "trap-bad9", 6, 1, overlong}, 1129, overlong},
  {"negative remote port", {E.HOST, -1, 0, "trap-bad2", 6, 1, ""}, 1129, "-1"},
  {"negative local port", {E.HOST, receiver, -2, "trap-bad3", 6, 1, ""}, 1129, "-2"},
  {"negative timeout", {E.HOST, receiver, 0, "trap-bad4", 6, 1, "", -7, 1}, 1129, "-7"},
  {"negative retries", {E.HOST, receiver, 0, "trap-bad5", 6, 1, "", 100, -3}, 1129, "-3"},
  {"unknown host", {"no such host", receiver, 0, "trap-bad6", 6, 1, ""}, 1128, "Couldn't open snmp"},
}
for _, case in ipairs(refused) do
  local label, args, id, text = case[1], case[2], case[3], case[4]
  local messages, result = E.with_messages(function() return snmptrapEx(table.unpack(args)) end)
  T.eq(result, nil, label .. ": empty result")
  E.expect_messages(messages, {{id, text}}, label)
end
-- Wrong argument types: nothing at all.
T.eq(snmptrapEx(E.HOST, receiver, 0, "trap-bad7", 6, 1, 5), nil, "numeric enterprise")
T.eq(snmptrapEx(E.HOST, tostring(receiver), 0, "trap-bad8", 6, 1, ""), nil, "port as text")
-- None of them reached the receiver: a trap sent afterwards is the next one in its log.
T.eq(snmptrapEx(E.HOST, receiver, 0, "trap-after", 6, 1, ""), 1, "trap after the refused ones")
wait_for("trap-after")
for _, trap in ipairs((read_log())) do
  T.truthy(not trap.community:match("^trap%-bad"), "refused trap " .. trap.community .. " was logged")
end
-- And the invalid enterprise sent nothing to the sink either.
snmptrapEx(E.HOST, sink, 0, "trap-bad9", 6, 1, "1.3.x")
T.eq(#E.sink_take(), 0, "invalid enterprise: nothing sent")

-- A trap changes none of the request state: peer, port, community, OID,
-- timeout, retries, error status.
do
  snmpgetEx(E.HOST, agent, 0, "public", "system.99.0")
  T.eq(snmpGetLastError(), SNMP_ERR_NOSUCHNAME, "a known status")
  local first = snmpgetEx(E.HOST, agent, 0, "public", "system.1.0", 400, 2)
  T.eq(type(first), "string", "get of sysDescr")
  T.eq(snmptrapEx(E.HOST, receiver, 0, "trap-state", 6, 1, "enterprises.77", 10, 9), 1, "trap in between")
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.1.0", "snmpobjid after the trap")
  T.eq(snmpGetLastError(), 0, "error status after the trap")
  local nextv = snmpgetnext()
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.2.0", "snmpgetnext continues at the agent after the trap")
  T.eq(nextv, (E.tool("snmpget", "1", "public", agent, "1.3.6.1.2.1.1.2.0")[1].value:gsub("^%.", "")), "sysObjectID")
  -- Settings: a get to the sink with 2 retries, a trap with 9, then a get-next: 2 transmissions.
  snmpgetEx(E.HOST, sink, 0, "public", "system.1.0", 20, 2)
  T.eq(#E.sink_take(), 2, "get with 2 retries")
  snmptrapEx(E.HOST, receiver, 0, "trap-state2", 6, 1, "", 30, 9)
  snmpgetnext()
  local got = E.sink_take()
  T.eq(#got, 2, "get-next after the trap keeps 2 retries and the sink's port")
  T.eq(got[1].pdu, "a1", "get-next request")
end
print("ok")
