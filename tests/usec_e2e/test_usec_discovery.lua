-- Opening a user-based session: discovery that gets no answer fails the open
-- (1128) and the process lives on; a retransmitted discovery succeeds; a
-- security string that must not open a session (an empty or overlong user, an
-- overlong context, a malformed key) is refused (1128) before anything is sent.
local T = require("testlib")
local E = require("e2elib")
local U = require("useclib")

U.main(function()
  local silent = U.start_agent("--user auth:" .. U.PHRASE .. " --drop-discovery all")

  -- In this process: 1128, the empty result, and the script goes on.
  U.expect_no_session(silent, "/auth/" .. U.PHRASE, "system.5.0", "no answer to discovery", U.FAIL_TIMEOUT, 2)
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.5.0", "no answer to discovery: snmpobjid keeps the OID argument")
  local log = U.take_log(silent, 2)
  T.eq(#log, 2, "no answer to discovery: two transmissions, nothing else")
  for i = 1, 2 do
    U.expect_entry(log[i], {community = "kolbur", qos = "0x04", action = "discovery-dropped", sent = "0"},
      "discovery " .. i)
  end
  -- The same agent still answers SNMPv1.
  T.eq(snmpgetEx(E.HOST, silent.port, 0, "public", "system.5.0"), "test-agent", "the process lives on")
  -- get-next reuses the user-based target: its open fails the same way.
  U.expect_no_session(silent, "/auth/" .. U.PHRASE, "system.5.0", "the get before the get-next")
  local messages, result = E.with_messages(snmpgetnext)
  T.eq(result, nil, "get-next without discovery: empty result")
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, "get-next without discovery")

  -- In a runner of its own: the module's line on standard output, the host
  -- message on standard error, the script runs to its end, exit status 0.
  local out, err, status = U.run_child("child_get.lua", tostring(silent.port), "/auth/" .. U.PHRASE,
    "system.5.0", tostring(U.FAIL_TIMEOUT), "1")
  T.eq(out, "No Response from 127.0.0.1\nresult=nil\nobjid=1.3.6.1.2.1.1.5.0\nend of script\n",
    "no answer to discovery: standard output")
  T.eq(err, "message 1128: Couldn't open snmp\n", "no answer to discovery: standard error")
  T.eq(status, 0, "no answer to discovery: exit status")

  -- The first discovery unanswered, its retransmission answered.
  local late = U.start_agent("--user auth:" .. U.PHRASE .. " --drop-discovery 1")
  T.eq(U.get(late, "/auth/" .. U.PHRASE, "system.5.0", U.FAIL_TIMEOUT, 2), "test-agent",
    "discovery answered on its retransmission")
  log = U.take_log(late, 3)
  T.eq(log[1].action, "discovery-dropped", "first discovery dropped")
  T.eq(log[2].action, "discovery", "second discovery answered")
  T.eq(log[2].id, log[1].id, "the same request retransmitted")
  T.eq(log[3].action, "answered", "then the get")

  -- Strings that must not open a session: refused before anything is sent,
  -- the discovery included.
  local agent = U.start_agent("--user auth:" .. U.PHRASE)
  local long_user = string.rep("u", 32)
  local long_context = string.rep("c", 73)
  for _, case in ipairs({
    {"/" .. long_user, "userName longer than 31 octets\n"},
    {"/" .. long_user .. "/" .. U.PHRASE, "userName longer than 31 octets\n"},
    {"/auth/" .. U.PHRASE .. "//" .. long_context, "context longer than 72 octets\n"},
    {"/", "userName cannot be zero length\n"},
    {"/auth/0x1234", "auth key not 16 octets\n"},
    {"/auth/0x" .. string.rep("0", 31) .. "g", "auth key contains non hex digits\n"},
  }) do
    local community, complaint = case[1], case[2]
    U.expect_no_session(agent, community, "system.5.0", community:sub(1, 20) .. "...")
    out, err, status = U.run_child("child_get.lua", tostring(agent.port), community, "system.5.0", "2000", "2")
    T.eq(out, "result=nil\nobjid=1.3.6.1.2.1.1.5.0\nend of script\n", "refused part: standard output")
    T.eq(err, complaint .. "message 1128: Couldn't open snmp\n", "refused part: standard error")
    T.eq(status, 0, "refused part: exit status")
  end
  -- None of them reached the agent: the first entries it logs are those of a get.
  T.eq(U.get(agent, "/auth/" .. U.PHRASE, "system.5.0", U.FAIL_TIMEOUT, 2), "test-agent", "a get after them")
  log = U.take_log(agent, 2)
  T.eq(#log, 2, "only the get's discovery and request reached the agent")
  T.eq(log[1].action, "discovery", "the get's discovery")

  -- At the limits the parts are taken, and the agent, which carries user
  -- names up to 16 octets, cannot read the request and sends nothing. The
  -- agent is known from the get (no discovery), so nothing at all came back:
  -- as from an agent never heard of, 1128.
  U.expect_no_session(agent, "/" .. string.rep("u", 31), "system.5.0", "31-octet user name")
  U.expect_entry(U.take_log(agent, 1)[1], {action = "bad-parameters", sent = "0"}, "31-octet user name")
  -- A 72-octet context: the agent carries 40 at most. The known agent that
  -- did not answer was forgotten: discovered again.
  U.expect_no_value(agent, "/auth/" .. U.PHRASE .. "//" .. string.rep("c", 72), "system.5.0", "72-octet context")
  U.expect_entry(U.take_log(agent, 2)[2], {action = "bad-parameters", sent = "0"}, "72-octet context")
end)
