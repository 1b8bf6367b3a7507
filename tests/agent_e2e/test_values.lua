-- Every variable of the test agent's built-in table through snmpgetEx (and
-- snmpget, given an agent on port 161 of a loopback address), in SNMPv1 and
-- SNMPv2c, compared with the table as the agent prints it:
-- numbers, Counter64 as "high,low", printable and binary strings (dotted
-- hex), NULL, OIDs, IpAddresses, Opaque and NSAP blocks. Then what a script
-- sees for names the agent does not have: SNMPv1 noSuchName (1127), and the
-- SNMPv2c exception values noSuchObject, noSuchInstance and endOfMibView (the
-- empty string, the name unchanged), also served straight from a table.
local T = require("testlib")
local E = require("e2elib")
local A = require("agentlib")

A.run(function()
  local agent = A.start("")
  local variables = A.dump_table("")

  -- The table offers every kind of value this test is about.
  local kinds = {}
  for _, entry in ipairs(variables) do kinds[entry.type] = (kinds[entry.type] or 0) + 1 end
  for _, kind in ipairs({"integer", "string", "hex", "null", "oid", "ipaddress", "counter", "gauge", "timeticks",
                         "opaque", "counter64", "unsigned", "nsap"}) do
    T.truthy(kinds[kind], "the built-in table has a variable of type " .. kind)
  end

  -- snmpgetEx to the agent's port, and snmpget, which always asks port 161,
  -- to a second agent there when that port can be had.
  local callers = {{"snmpgetEx", agent, function(community, oid)
    return snmpgetEx(A.HOST, agent.port, 0, community, oid, 2000, 1)
  end}}
  local well_known = A.start_well_known("")
  if well_known then
    callers[2] = {"snmpget", well_known, function(community, oid)
      return snmpget(well_known.host, community, oid, 2000, 1)
    end}
  else
    print("note: no loopback address with a free port 161; snmpget left out")
  end
  for _, caller in ipairs(callers) do
    local name, target, get = table.unpack(caller)
    local requests = 0
    for _, version in ipairs({"1", "2c"}) do
      local community = version == "2c" and "+public" or "public"
      for _, entry in ipairs(variables) do
        local label = string.format("%s v%s %s %s", name, version, entry.type, entry.oid)
        local call = function() return get(community, entry.oid) end
        requests = requests + 1
        if entry.type == "counter64" and version == "1" then
          -- Counter64 exists only for SNMPv2c: the agent answers noSuchName.
          A.expect_failure(label, entry.oid, SNMP_ERR_NOSUCHNAME, call)
        else
          A.expect_value(label, entry.oid, A.expected(entry), call)
        end
      end
    end
    -- One get each, answered at the first transmission.
    local log = target:take()
    T.eq(#log, requests, name .. ": one datagram per get")
    for i, entry in ipairs(log) do
      T.eq(entry.command, "get", name .. " log line " .. i .. ": a get")
      T.eq(entry.action, "answered", name .. " log line " .. i .. ": answered")
      T.eq(entry.sent, 1, name .. " log line " .. i .. ": one reply")
    end
  end
  if well_known then well_known:stop() end

  -- The same names as the script wrote them, symbolic prefix and all.
  A.expect_value("sysName through the prefix", "1.3.6.1.2.1.1.5.0",
    A.expected(A.find(variables, "1.3.6.1.2.1.1.5.0")),
    function() return snmpgetEx(A.HOST, agent.port, 0, "public", "system.5.0") end)
  A.expect_value("an enterprise value through the prefix", "1.3.6.1.4.1.99999.1.5.0",
    A.expected(A.find(variables, "1.3.6.1.4.1.99999.1.5.0")),
    function() return snmpgetEx(A.HOST, agent.port, 0, "+public", "enterprises.99999.1.5.0") end)

  -- With --v1-counter64 the agent serves Counter64 to SNMPv1 as well, and the
  -- module converts it the same way.
  local v1agent = A.start("--v1-counter64")
  for _, entry in ipairs(variables) do
    if entry.type == "counter64" then
      A.expect_value("v1 counter64 " .. entry.oid, entry.oid, A.expected(entry),
        function() return snmpgetEx(A.HOST, v1agent.port, 0, "public", entry.oid) end)
    end
  end
  v1agent:stop()

  -- Names the agent does not have.
  local last = variables[#variables].oid
  local missing = {
    {"1.3.6.1.4.1.99999.7.0", "noSuchObject: nothing under the object"},
    {"1.3.6.1.4.1.99999.1.1.5", "noSuchInstance: the object exists, the instance not"},
    {"1.3.6.1.4.1.99999.1.1", "noSuchInstance: a scalar without its .0"},
  }
  for _, case in ipairs(missing) do
    local oid, what = case[1], case[2]
    -- SNMPv1: error status noSuchName, message 1127, the number 0.
    A.expect_failure("v1 " .. what, oid, SNMP_ERR_NOSUCHNAME,
      function() return snmpgetEx(A.HOST, agent.port, 0, "public", oid) end)
    -- SNMPv2c: an exception value: the empty string, the name asked for.
    A.expect_value("v2c " .. what, oid, "",
      function() return snmpgetEx(A.HOST, agent.port, 0, "+public", oid) end)
  end

  -- The end of the table: SNMPv2c endOfMibView keeps the name; SNMPv1 ends
  -- with noSuchName, reported with the name asked after.
  A.expect_value("v2c get of the last variable", last, A.expected(variables[#variables]),
    function() return snmpgetEx(A.HOST, agent.port, 0, "+public", last) end)
  A.expect_value("v2c get-next past the end: endOfMibView", last, "", snmpgetnext)
  A.expect_value("v2c get-next again: still at the end", last, "", snmpgetnext)
  local v1last = variables[#variables]
  for i = #variables, 1, -1 do
    if variables[i].type ~= "counter64" then v1last = variables[i] break end
  end
  A.expect_value("v1 get of the last variable SNMPv1 sees", v1last.oid, A.expected(v1last),
    function() return snmpgetEx(A.HOST, agent.port, 0, "public", v1last.oid) end)
  A.expect_failure("v1 get-next past the end", v1last.oid, SNMP_ERR_NOSUCHNAME, snmpgetnext)

  -- Exception values the agent serves from its table as they stand.
  local table_file = E.env("AGENT_DIR") .. "/exceptions.table"
  local f = assert(io.open(table_file, "w"))
  f:write("1.3.6.1.4.1.4242.1.1.0 string before\n")
  f:write("1.3.6.1.4.1.4242.1.2.0 128\n")
  f:write("1.3.6.1.4.1.4242.1.3.0 129\n")
  f:write("1.3.6.1.4.1.4242.1.4.0 130\n")
  f:write("1.3.6.1.4.1.4242.1.5.0 string after\n")
  f:close()
  local served = A.start({"--table", table_file})
  local exceptions = A.dump_table({"--table", table_file})
  T.eq(#exceptions, 5, "the table file loaded")
  for _, entry in ipairs(exceptions) do
    A.expect_value("v2c " .. (A.EXCEPTIONS[entry.type] or entry.type) .. " from the table", entry.oid,
      A.expected(entry), function() return snmpgetEx(A.HOST, served.port, 0, "+public", entry.oid) end)
  end
  -- A walk over them: each exception value keeps the walk going, since the
  -- name moves on.
  snmpgetEx(A.HOST, served.port, 0, "+public", "1.3.6.1.4.1.4242")
  for _, entry in ipairs(exceptions) do
    A.expect_value("v2c get-next to " .. entry.oid, entry.oid, A.expected(entry), snmpgetnext)
  end
  served:stop()

  T.eq(A.stderr_take(), "", "no diagnostics from the engine")
  agent:stop()
end)
print("ok")
