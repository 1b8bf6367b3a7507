-- peers: snmpd sink-well-known
-- Requests to ports where nobody answers (the sink logs what arrives): R
-- retries mean R transmissions in all; the settings and ports that snmpgetnext
-- inherits; argument values refused before anything is sent; host names that
-- do not resolve; the largest timeout.
local T = require("testlib")
local E = require("e2elib")

local agent = E.port("SNMPD_PORT")
local sink = E.port("SINK_PORT")
local wk = os.getenv("SINK_WK_ADDR")
T.truthy(wk, "the sink could bind ports 161 and 162 on a loopback address")

local function expect_1127(messages, oid, label)
  E.expect_messages(messages, {{1127, "Couldn't get variable (" .. oid .. ")"}}, label)
end

-- A known error status first: a request without a response must leave it alone.
snmpgetEx(E.HOST, agent, 0, "public", "system.99.0")
T.eq(snmpGetLastError(), SNMP_ERR_NOSUCHNAME, "status from the agent")

-- R retries: R transmissions of the same message (0 counts as 1).
for _, case in ipairs({{0, 1}, {1, 1}, {2, 2}, {3, 3}}) do
  local retries, sends = case[1], case[2]
  local messages, result = E.with_messages(function()
    return snmpgetEx(E.HOST, sink, 0, "public", "system.1.0", 20, retries)
  end)
  local label = "retries " .. retries
  T.eq(result, 0, label .. ": the number 0")
  expect_1127(messages, "system.1.0", label)
  T.eq(snmpobjid(), "", label .. ": snmpobjid empty")
  T.eq(snmpGetLastError(), SNMP_ERR_NOSUCHNAME, label .. ": error status unchanged without a response")
  local got = E.sink_take()
  T.eq(#got, sends, label .. ": transmissions")
  for i = 1, #got do
    T.eq(got[i].pdu, "a0", label .. ": a get request")
    T.eq(got[i].version, "0", label .. ": SNMPv1")
    T.eq(got[i].community, "public", label .. ": community")
    T.eq(got[i].vars, "1.3.6.1.2.1.1.1.0|05|", label .. ": the name with a NULL value")
    T.eq(got[i].reqid, got[1].reqid, label .. ": the same request id each time")
    T.eq(got[i].from, got[1].from, label .. ": from the same socket")
  end
end

-- A timeout without a retries argument keeps 3 retries.
snmpgetEx(E.HOST, sink, 0, "public", "system.1.0", 20)
T.eq(#E.sink_take(), 3, "timeout alone: 3 transmissions")

-- snmpgetnext goes to the same peer and port with the same community and settings.
do
  snmpgetEx(E.HOST, sink, 0, "+carried", "system.1.0", 20, 2)
  T.eq(#E.sink_take(), 2, "get with 2 retries")
  local messages, result = E.with_messages(snmpgetnext)
  T.eq(result, 0, "get-next after the failed get: no answer either")
  expect_1127(messages, "", "get-next of the emptied OID")
  local got = E.sink_take()
  -- SNMPv2c reads ahead: a GetBulk with the 2 retries, then one GetNext in
  -- case the agent ignores GetBulk.
  T.eq(#got, 3, "get-next inherits 2 retries, then one GetNext")
  T.eq(got[1].pdu .. got[2].pdu .. got[3].pdu, "a5a5a1", "GetBulk, GetBulk, GetNext")
  T.eq(got[1].version, "1", "'+' selects SNMPv2c")
  T.eq(got[1].community, "carried", "the community without its '+'")
  -- A set's settings carry over too.
  snmpsetEx(E.HOST, sink, 0, "private", "system.4.0", ASN_OCTET_STR, "x", 20, 1)
  T.eq(#E.sink_take(), 1, "set with 1 retry")
  snmpgetnext()
  got = E.sink_take()
  T.eq(#got, 1, "get-next after the set: 1 transmission")
  T.eq(got[1].community, "private", "get-next after the set: its community")
end

-- snmpgetnext with an argument does nothing.
do
  local messages, result = E.with_messages(function() return snmpgetnext("x") end)
  T.eq(result, nil, "get-next with an argument: empty result")
  T.eq(#messages, 0, "get-next with an argument: no message")
  T.eq(#E.sink_take(), 0, "get-next with an argument: nothing sent")
end

-- Negative timeout or retries: 1129 with the number, nothing sent.
for _, case in ipairs({{-5, 1, "-5"}, {-5.7, 1, "-5"}, {20, -2, "-2"}}) do
  local timeout, retries, text = case[1], case[2], case[3]
  local label = string.format("timeout %s retries %s", timeout, retries)
  local messages, result = E.with_messages(function()
    return snmpgetEx(E.HOST, sink, 0, "public", "system.3.0", timeout, retries)
  end)
  T.eq(result, nil, label .. ": empty result")
  E.expect_messages(messages, {{1129, text}}, label)
  T.eq(#E.sink_take(), 0, label .. ": nothing sent")
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.3.0", label .. ": the OID was taken over")
end
-- After "timeout 20, retries -2" the timeout stays and the retries are the default 3.
snmpgetnext()
T.eq(#E.sink_take(), 3, "get-next after a refused retries count: 3 transmissions")

-- Ports: 0 and 65536 are the default 161; a negative port is refused; a
-- local port is the source of the request and stays for snmpgetnext.
for _, remote in ipairs({0, 65536, 65536 + 161}) do
  local messages = E.with_messages(function()
    return snmpgetEx(wk, remote, 0, "public", "system.1.0", 20, 1)
  end)
  expect_1127(messages, "system.1.0", "remote port " .. remote)
  local got = E.sink_take()
  T.eq(#got, 1, "remote port " .. remote .. ": one transmission")
  T.eq(got[1].local_port, 161, "remote port " .. remote .. " means 161")
end
for _, ports in ipairs({{-1, 0, "-1"}, {sink, -1, "-1"}, {-0.4, 0, "-0"}}) do
  local messages, result = E.with_messages(function()
    return snmpgetEx(E.HOST, ports[1], ports[2], "public", "system.1.0", 20, 1)
  end)
  T.eq(result, nil, "negative port: empty result")
  E.expect_messages(messages, {{1129, ports[3]}}, "negative port " .. ports[3])
  T.eq(#E.sink_take(), 0, "negative port: nothing sent")
end
do
  local chosen = E.port("SINK_FREE_PORT")
  snmpgetEx(E.HOST, sink, chosen, "public", "system.1.0", 20, 1)
  local got = E.sink_take()
  T.eq(got[1].from, chosen, "the local port is the request's source port")
  snmpgetnext()
  got = E.sink_take()
  T.eq(got[1].from, chosen, "snmpgetnext keeps the local port")
end

-- A local port that is taken: the session cannot be bound (1128), and the
-- port stays for snmpgetnext, which fails the same way.
do
  local messages, result = E.with_messages(function()
    return snmpgetEx(E.HOST, sink, sink, "public", "system.1.0", 20, 1)
  end)
  T.eq(result, nil, "local port in use: empty result")
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, "local port in use")
  messages = E.with_messages(snmpgetnext)
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, "get-next with the local port in use")
  T.eq(#E.sink_take(), 0, "local port in use: nothing sent")
end

-- An empty community: the engine's default.
snmpgetEx(E.HOST, sink, 0, "", "system.1.0", 20, 1)
T.eq(E.sink_take()[1].community, "kolbur", "empty community: the engine's default")

-- Host names that cannot resolve (refused by the resolver itself, so no name
-- server is asked): 1128 "Couldn't open snmp", empty result; the target is
-- taken over, so snmpgetnext fails the same way.
for _, host in ipairs({"no such host", "256.256.256.256"}) do
  local messages, result = E.with_messages(function() return snmpget(host, "public", "system.1.0") end)
  T.eq(result, nil, host .. ": empty result")
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, host)
  T.eq(messages[1].detail, nil, host .. ": no second text")
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.1.0", host .. ": the OID stays as parsed")
  messages, result = E.with_messages(snmpgetnext)
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, host .. ": get-next")
  messages, result = E.with_messages(function()
    return snmpsetEx(host, 1161, 0, "private", "system.4.0", ASN_OCTET_STR, "x")
  end)
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, host .. ": set")
end
T.eq(#E.sink_take(), 0, "nothing reached the sink")

-- Timeouts above 2147483 ms are held at that value instead of overflowing the
-- engine's microseconds (an overflow would expire at once and lose the answer).
for _, timeout in ipairs({2147483, 2147484, 4294968, 1e12}) do
  local messages, value = E.with_messages(function()
    return snmpgetEx(E.HOST, agent, 0, "public", "system.5.0", timeout, 1)
  end)
  T.eq(#messages, 0, "timeout " .. timeout .. ": answered")
  T.eq(value, E.tool("snmpget", "1", "public", agent, "1.3.6.1.2.1.1.5.0")[1].bytes, "timeout " .. timeout .. ": value")
  T.eq(type(snmpgetnext()), "string", "timeout " .. timeout .. ": get-next with the same setting")
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.6.0", "timeout " .. timeout .. ": get-next answered")
end
print("ok")
