-- Walks of the test agent with snmpgetnext, compared entry by entry with its
-- table as `--dump-table` prints it: the whole agent with a generated table
-- of ROWS rows behind the built-in variables, in SNMPv1 (Counter64 skipped,
-- ending with noSuchName) and SNMPv2c (ending with endOfMibView, the name
-- unchanged); and the generated table alone, started from its own name as a
-- script would.
local T = require("testlib")
local E = require("e2elib")
local A = require("agentlib")

local ROWS = 40
local TABLE = "1.3.6.1.4.1.99999.2"

A.run(function()
  local flags = {"--rows", tostring(ROWS)}
  local agent = A.start(flags)
  local variables = A.dump_table(flags)
  local rows = 0
  for _, entry in ipairs(variables) do
    if E.oid_within(entry.oid, TABLE) then rows = rows + 1 end
  end
  T.eq(rows, 3 * ROWS, "the generated table: three columns of ROWS rows")
  agent:take()

  -- SNMPv2c twice: one GetNext per step with the read-ahead off, then GetBulk.
  for _, mode in ipairs({"1", "2c", "2c bulk"}) do
    local version = mode:sub(1, 2) == "2c" and "2c" or "1"
    local bulk = mode == "2c bulk"
    if bulk then snmpreadahead() else snmpreadahead(0) end
    local community = version == "2c" and "+public" or "public"
    local expected = {}
    for _, entry in ipairs(variables) do
      if version == "2c" or entry.type ~= "counter64" then expected[#expected + 1] = entry end
    end
    -- A get of the first variable fixes the agent and the starting point.
    local first = expected[1]
    A.expect_value("v" .. version .. " walk start", first.oid, A.expected(first),
      function() return snmpgetEx(A.HOST, agent.port, 0, community, first.oid, 2000, 1) end)
    for i = 2, #expected do
      local entry = expected[i]
      A.expect_value(string.format("v%s walk step %d", version, i - 1), entry.oid, A.expected(entry), snmpgetnext)
    end
    local last = expected[#expected].oid
    if version == "1" then
      A.expect_failure("v1 walk end: noSuchName", last, SNMP_ERR_NOSUCHNAME, snmpgetnext)
    else
      A.expect_value("v2c walk end: endOfMibView", last, "", snmpgetnext)
    end
    -- One get-next per step, each asking for the name before it, answered
    -- at the first transmission.
    -- With the read-ahead, a GetBulk asks for the name a step is at and the
    -- steps behind it come without a request.
    local log = agent:take()
    if bulk then
      local asked = {}
      for _, entry in ipairs(expected) do asked[entry.oid] = true end
      T.truthy(#log > 1 and #log <= #expected / 10, "v2c bulk: a fraction of the requests: " .. #log)
      for i, entry in ipairs(log) do
        T.eq(entry.command, i == 1 and "get" or "getbulk", "v2c bulk log line " .. i .. ": command")
        T.truthy(asked[entry.bindings[1].name], "v2c bulk log line " .. i .. ": asks for a walked name")
      end
      log = {}
    else
      T.eq(#log, #expected + 1, "v" .. version .. ": one request per step")
    end
    for i, entry in ipairs(log) do
      local label = string.format("v%s log line %d", version, i)
      T.eq(entry.command, i == 1 and "get" or "getnext", label .. ": command")
      T.eq(entry.version, version == "2c" and 1 or 0, label .. ": version")
      T.eq(entry.action, "answered", label .. ": answered")
      T.eq(entry.bindings[1].name, expected[math.max(i - 1, 1)].oid, label .. ": the name asked for")
    end
  end

  -- The generated table alone, row by row, the way a script walks a
  -- subtree: start at the table's own name (SNMPv2c noSuchObject keeps it),
  -- stop when a name leaves the subtree or does not increase.
  local function walk_table(extra_args)
    local other = A.start(extra_args)
    A.expect_value("walk of the table: start", TABLE, "",
      function() return snmpgetEx(A.HOST, other.port, 0, "+public", TABLE, 2000, 1) end)
    local seen = {}
    while true do
      local before = snmpobjid()
      local value = snmpgetnext()
      local name = snmpobjid()
      if name == "" or E.oid_compare(name, before) <= 0 or not E.oid_within(name, TABLE) then break end
      seen[#seen + 1] = {oid = name, value = value}
    end
    other:stop()
    return seen
  end
  local seen = walk_table(flags)
  local i = 0
  for _, entry in ipairs(variables) do
    if E.oid_within(entry.oid, TABLE) then
      i = i + 1
      T.truthy(seen[i], "walk of the table: entry " .. i .. " was reached")
      T.eq(seen[i].oid, entry.oid, "walk of the table: name " .. i)
      T.eq(seen[i].value, A.expected(entry), "walk of the table: value " .. i)
    end
  end
  T.eq(#seen, 3 * ROWS, "walk of the table: every cell and nothing more")

  -- The same walk with two more bindings after every answer: a get-next
  -- takes the first binding of the response, and the walk is the same.
  local shifted = walk_table({"--rows", tostring(ROWS), "--extra-after", "2"})
  T.eq(#shifted, 3 * ROWS, "walk with extra bindings after: every cell")
  for k = 1, #shifted do
    T.eq(shifted[k].oid, seen[k].oid, "walk with extra bindings after: name " .. k)
    T.eq(shifted[k].value, seen[k].value, "walk with extra bindings after: value " .. k)
  end

  T.eq(A.stderr_take(), "", "no diagnostics from the engine")
end)
print("ok")
