-- What a script sees when the agent shapes its answers: more bindings than
-- asked for, a given error status, a Report instead of a Response, a reply
-- with another request id or a mangled datagram before the right one, the
-- reply of the previous request first, and every reply twice. The agent's
-- log shows how many datagrams each request brought.
local T = require("testlib")
local E = require("e2elib")
local A = require("agentlib")

local SYSNAME = "1.3.6.1.2.1.1.5.0"
local STRING = "1.3.6.1.4.1.99999.1.2.0"

-- Each request of the log went out once and brought `sent` datagrams.
local function expect_log(agent, requests, sent, label)
  local log = agent:take()
  T.eq(#log, requests, label .. ": requests the agent received")
  for i, entry in ipairs(log) do
    T.eq(entry.action, "answered", label .. ": request " .. i .. " answered")
    T.eq(entry.sent, sent, label .. ": datagrams for request " .. i)
  end
  return log
end

local function has_net_snmp()
  return os.execute("command -v snmpget >/dev/null 2>&1") == true
end

A.run(function()
  -- These shapes are of one GetNext's answer: the SNMPv2c read-ahead stays off.
  snmpreadahead(0)
  local variables = A.dump_table("")
  local value_of = {}
  for _, entry in ipairs(variables) do value_of[entry.oid] = A.expected(entry) end

  -- More bindings: the requested one is found wherever it stands; the
  -- others are released with the response.
  for _, flags in ipairs({"--extra-before 2 --extra-after 3", "--extra-before 4", "--extra-after 1"}) do
    local agent = A.start(flags)
    for _, entry in ipairs(variables) do
      A.expect_value(flags .. ": get " .. entry.oid, entry.oid, A.expected(entry),
        function() return snmpgetEx(A.HOST, agent.port, 0, "+public", entry.oid, 2000, 1) end)
    end
    A.expect_value(flags .. ": set", STRING, "shaped " .. flags,
      function() return snmpsetEx(A.HOST, agent.port, 0, "+public", STRING, ASN_OCTET_STR, "shaped " .. flags) end)
    expect_log(agent, #variables + 1, 1, flags)
    if has_net_snmp() then
      -- Net-SNMP's snmpget prints every binding of a response: the agent did
      -- send more than the one asked for.
      local before, after = tonumber(flags:match("before (%d+)") or 0), tonumber(flags:match("after (%d+)") or 0)
      local shown = E.tool("snmpget", "2c", "public", agent.port, SYSNAME)
      T.eq(#shown, before + 1 + after, flags .. ": bindings in the response")
      T.eq(shown[before + 1].oid, SYSNAME, flags .. ": where the requested one stands")
    end
    agent:stop()
  end
  -- A get-next takes the response's first binding, whatever it is: with
  -- bindings before the answer, the first of them (the variables after the
  -- answer come first).
  do
    local agent = A.start("--extra-before 2")
    snmpgetEx(A.HOST, agent.port, 0, "+public", "1.3.6.1.2.1.1.1.0")
    local answer
    for i, entry in ipairs(variables) do
      if entry.oid == "1.3.6.1.2.1.1.1.0" then answer = i + 1 end
    end
    local first_extra = variables[answer + 1]
    A.expect_value("get-next with bindings before the answer", first_extra.oid, A.expected(first_extra),
      snmpgetnext)
    agent:stop()
  end

  -- Error statuses: no value, message 1127 with the OID as written (for a
  -- get-next, the name it asked after), the number 0, snmpobjid empty,
  -- snmpGetLastError the status.
  for _, status in ipairs({SNMP_ERR_TOOBIG, SNMP_ERR_NOSUCHNAME, SNMP_ERR_GENERR, SNMP_ERR_NOACCESS,
                           SNMP_ERR_NOTWRITABLE, SNMP_ERR_INCONSISTENTNAME}) do
    local agent = A.start("--error-status " .. status)
    local label = "error status " .. status
    A.expect_failure(label .. ": v1 get", "system.5.0", status,
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", "system.5.0", 2000, 1) end)
    A.expect_failure(label .. ": v2c get", "system.5.0", status,
      function() return snmpgetEx(A.HOST, agent.port, 0, "+public", "system.5.0", 2000, 1) end)
    A.expect_failure(label .. ": get-next after it", "", status, snmpgetnext)
    A.expect_failure(label .. ": set", "enterprises.99999.1.2.0", status, function()
      return snmpsetEx(A.HOST, agent.port, 0, "public", "enterprises.99999.1.2.0", ASN_OCTET_STR, "x", 2000, 1)
    end)
    expect_log(agent, 4, 1, label)
    agent:stop()
  end
  do
    -- Only the first answer carries the status; the next one clears it.
    local agent = A.start("--error-status 5 --misbehave-count 1")
    A.expect_failure("status once", "system.5.0", SNMP_ERR_GENERR,
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", "system.5.0") end)
    A.expect_value("status once: then a value", SYSNAME, value_of[SYSNAME],
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", "system.5.0") end)
    agent:stop()
    -- Status 0 forced on SNMPv1's noSuchName: the binding comes back as the
    -- request had it, NULL, which is the number 0 and no failure.
    agent = A.start("--error-status 0")
    A.expect_value("status 0 on a missing name", "1.3.6.1.4.1.99999.7.0", 0,
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", "enterprises.99999.7.0") end)
    agent:stop()
  end

  -- A Report with the awaited request id ends the wait, but it is the
  -- agent's account of a failed request, never the value: each call fails at
  -- once, and snmpGetLastError gives the Report's error status. Three
  -- transmissions allowed: a Report that did not end the wait would show as
  -- more requests.
  for _, community in ipairs({"public", "+public"}) do
    local agent = A.start("--report")
    local label = "report (" .. community .. ")"
    A.expect_failure(label .. ": get", SYSNAME, 0,
      function() return snmpgetEx(A.HOST, agent.port, 0, community, SYSNAME, 300, 3) end)
    A.expect_failure(label .. ": get-next", "", 0, snmpgetnext)
    A.expect_failure(label .. ": set", STRING, 0,
      function() return snmpsetEx(A.HOST, agent.port, 0, community, STRING, ASN_OCTET_STR, "reported", 300, 3) end)
    expect_log(agent, 3, 1, label)
    agent:stop()
    agent = A.start("--report --error-status 5")
    A.expect_failure(label .. " with genErr", SYSNAME, SNMP_ERR_GENERR,
      function() return snmpgetEx(A.HOST, agent.port, 0, community, SYSNAME, 300, 3) end)
    expect_log(agent, 1, 1, label .. " with genErr")
    agent:stop()
  end

  -- A reply with another request id first: dropped without a word; the
  -- right one follows and is taken. One transmission only.
  for _, flags in ipairs({"--wrong-id-first", "--wrong-id-first --wrong-id-offset -1",
                          "--wrong-id-first --wrong-id-offset 1"}) do
    local agent = A.start(flags)
    A.expect_value(flags .. ": get", SYSNAME, value_of[SYSNAME],
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", SYSNAME, 2000, 1) end)
    A.expect_value(flags .. ": get-next", "1.3.6.1.2.1.1.6.0", value_of["1.3.6.1.2.1.1.6.0"], snmpgetnext)
    expect_log(agent, 2, 2, flags)
    agent:stop()
  end
  -- The previous request's reply first: not taken for this one.
  do
    local agent = A.start("--previous-reply-first")
    local order = {"1.3.6.1.2.1.1.1.0", SYSNAME, STRING, "1.3.6.1.4.1.99999.1.7.0"}
    for _, oid in ipairs(order) do
      A.expect_value("previous reply first: " .. oid, oid, value_of[oid],
        function() return snmpgetEx(A.HOST, agent.port, 0, "public", oid, 2000, 1) end)
    end
    local log = agent:take()
    T.eq(#log, #order, "previous reply first: one transmission each")
    T.eq(log[1].sent, 1, "previous reply first: nothing before the first reply")
    for i = 2, #log do T.eq(log[i].sent, 2, "previous reply first: two datagrams for request " .. i) end
  end

  -- A datagram that does not decode: "Mangled packet" (after the decoder's
  -- own word, where it has one), then the good reply is taken.
  A.stderr_take()
  for _, case in ipairs({
    {"truncate", "Mangled packet\n"},
    {"length", "Mangled packet\n"},
    {"tag", "Mangled packet\n"},
    {"version", "Wrong version: 3\nMangled packet\n"},
  }) do
    local kind, diagnostics = case[1], case[2]
    local agent = A.start({"--mangle-first", kind})
    for _, community in ipairs({"public", "+public"}) do
      local label = string.format("mangled (%s, %s)", kind, community)
      A.expect_value(label, SYSNAME, value_of[SYSNAME],
        function() return snmpgetEx(A.HOST, agent.port, 0, community, SYSNAME, 2000, 1) end)
      T.eq(A.stderr_take(), diagnostics, label .. ": on standard error")
    end
    expect_log(agent, 2, 2, "mangled " .. kind)
    agent:stop()
  end
  do
    local agent = A.start("--wrong-id-first --mangle-first length")
    A.expect_value("wrong id, mangled, then right", SYSNAME, value_of[SYSNAME],
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", SYSNAME, 2000, 1) end)
    T.eq(A.stderr_take(), "Mangled packet\n", "wrong id, mangled, then right: on standard error")
    expect_log(agent, 1, 3, "wrong id, mangled, then right")
    agent:stop()
  end

  -- Every reply twice: the copy reaches a session that is already closed
  -- (or is dropped), and later calls see their own replies.
  do
    local agent = A.start("--duplicate")
    local order = {"1.3.6.1.2.1.1.1.0", SYSNAME, STRING, SYSNAME}
    for _, oid in ipairs(order) do
      A.expect_value("duplicate: " .. oid, oid, value_of[oid],
        function() return snmpgetEx(A.HOST, agent.port, 0, "+public", oid, 2000, 1) end)
    end
    A.expect_value("duplicate: get-next", "1.3.6.1.2.1.1.6.0", value_of["1.3.6.1.2.1.1.6.0"], snmpgetnext)
    expect_log(agent, #order + 1, 2, "duplicate")
    agent:stop()
  end

  T.eq(A.stderr_take(), "", "no other diagnostics from the engine")
end)
print("ok")
