-- Retransmission as a script sees it, counted in the test agent's log: an
-- agent that drops the first N requests answers the (N+1)th transmission
-- when the retries allow it; otherwise the call ends with 1127 after R
-- transmissions in all (R retries, not R + 1; 0 counts as 1). A reply that
-- comes later than the timeout is not waited for.
local T = require("testlib")
local E = require("e2elib")
local A = require("agentlib")

local SYSNAME = "1.3.6.1.2.1.1.5.0"
local STRING = "1.3.6.1.4.1.99999.1.2.0"
-- ms per transmission: short where the call is to fail, since it waits every
-- one out; longer where the last transmission is to be answered in time.
local TIMEOUT = 60
local ANSWER_TIMEOUT = 200

A.run(function()
  local variables = A.dump_table("")
  local value_of = {}
  for _, entry in ipairs(variables) do value_of[entry.oid] = A.expected(entry) end

  -- drops, retries (nil: the default 3), answered, transmissions
  local cases = {
    {0, 1, true, 1},
    {1, 1, false, 1},
    {1, 0, false, 1},
    {1, 2, true, 2},
    {2, 2, false, 2},
    {2, 3, true, 3},
    {3, 3, false, 3},
    {2, nil, true, 3},
  }
  for _, case in ipairs(cases) do
    local drops, retries, answered, transmissions = table.unpack(case)
    local label = string.format("drop %d, retries %s", drops, tostring(retries))
    local agent = A.start({"--drop-first", tostring(drops)})
    local timeout = answered and ANSWER_TIMEOUT or TIMEOUT
    local get = function() return snmpgetEx(A.HOST, agent.port, 0, "public", SYSNAME, timeout, retries) end
    if answered then
      A.expect_value(label, SYSNAME, value_of[SYSNAME], get)
    else
      A.expect_failure(label, SYSNAME, snmpGetLastError(), get)  -- no answer: the status stays
    end
    local log = agent:take()
    T.eq(#log, transmissions, label .. ": transmissions")
    for i, entry in ipairs(log) do
      local line = label .. ": transmission " .. i
      T.eq(entry.id, log[1].id, line .. ": the same request id")
      T.eq(entry.port, log[1].port, line .. ": from the same socket")
      T.eq(entry.command, "get", line .. ": a get")
      T.eq(entry.action, (answered and i == #log) and "answered" or "dropped", line .. ": action")
    end
    agent:stop()
  end

  -- The same for a set and a get-next: the retransmission is the same
  -- request, and the agent applies the set once.
  do
    local agent = A.start("--drop-first 1")
    A.expect_value("set after a drop", STRING, "again",
      function() return snmpsetEx(A.HOST, agent.port, 0, "public", STRING, ASN_OCTET_STR, "again", ANSWER_TIMEOUT, 2) end)
    local log = agent:take()
    T.eq(#log, 2, "set after a drop: transmissions")
    T.eq(log[2].id, log[1].id, "set after a drop: the same request id")
    T.eq(log[1].bindings[1].value, '"again"', "set after a drop: the value, first time")
    T.eq(log[2].bindings[1].value, '"again"', "set after a drop: the value, second time")
    agent:stop()

    agent = A.start("--drop-first 1")
    snmpgetEx(A.HOST, agent.port, 0, "public", "1.3.6.1.2.1.1.4.0", ANSWER_TIMEOUT, 2)  -- dropped once, then answered
    A.expect_value("get-next after a drop", SYSNAME, value_of[SYSNAME], snmpgetnext)
    agent:stop()
    agent = A.start("--drop-first 3")
    -- Both transmissions dropped: the failure empties snmpobjid, so the
    -- get-next asks for the first variable, with the get's retries.
    E.with_messages(function() return snmpgetEx(A.HOST, agent.port, 0, "public", "1.3.6.1.2.1.1.4.0", ANSWER_TIMEOUT, 2) end)
    A.expect_value("get-next takes the retries over", variables[1].oid, A.expected(variables[1]), snmpgetnext)
    log = agent:take()
    T.eq(#log, 4, "get-next takes the retries over: 2 + 2 transmissions")
    T.eq(log[3].command, "getnext", "get-next takes the retries over: the get-next")
    T.eq(log[4].id, log[3].id, "get-next takes the retries over: sent again")
    agent:stop()
  end

  -- A reply later than the timeout: one transmission (retries 1) times out
  -- (the late reply goes to a closed socket); with two the late replies of
  -- both are not awaited either. The next request, answered at once, works.
  for _, retries in ipairs({1, 2}) do
    local label = "delay, retries " .. retries
    local agent = A.start({"--delay", "1500", "--misbehave-count", tostring(retries)})
    A.expect_failure(label, SYSNAME, snmpGetLastError(),
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", SYSNAME, 50, retries) end)
    A.expect_value(label .. ": the next request", SYSNAME, value_of[SYSNAME],
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", SYSNAME, 2000, 1) end)
    local log = agent:take()
    T.eq(#log, retries + 1, label .. ": transmissions")
    for i = 1, retries do T.eq(log[i].id, log[1].id, label .. ": transmission " .. i) end
    agent:stop()
  end
  -- A reply that is slow but within the timeout is taken.
  do
    local agent = A.start("--delay 100")
    A.expect_value("delay within the timeout", SYSNAME, value_of[SYSNAME],
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", SYSNAME, 5000, 1) end)
    agent:stop()
  end

  T.eq(A.stderr_take(), "", "no diagnostics from the engine")
end)
print("ok")
