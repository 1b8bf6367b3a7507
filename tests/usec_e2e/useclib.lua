-- Helpers for the user-based security scripts: snmp-test-agent processes with
-- settings of their own (several per script), their request logs, and a
-- second runner process for what only its output and exit status show.
--
-- Every script gets the paths it needs as arguments:
--   arg[1] snmp-test-agent, arg[2] vantor-lua, arg[3] snmp.so
local T = require("testlib")
local E = require("e2elib")
local P = require("agent_process")
local U = {}

U.AGENT_BIN = assert(arg[1], "argument 1: the snmp-test-agent program")
U.RUNNER = assert(arg[2], "argument 2: the vantor-lua program")
U.MODULE = assert(arg[3], "argument 3: snmp.so")
U.FOLDER = arg[0]:match("^(.*)/[^/]*$") or "."

-- The pass phrase of RFC 2574's example, its key localised to the identifier
-- 00..02, and that identifier: the agent and the module must meet there.
U.PHRASE = "maplesyrup"
U.RFC_ENGINE_ID = "000000000000000000000002"
U.RFC_KEY = "0x526f5eed9fcce26f8964c2930787d82b"
-- Times for requests that must fail: short, so the folder stays fast.
U.FAIL_TIMEOUT = 300
U.FAIL_RETRIES = 1

local running = {}
local temporary = {}

local function tempfile()
  local path = os.tmpname()
  temporary[#temporary + 1] = path
  return path
end

-- Starts an agent with the given option text; answers {port=, log=, pid=}.
function U.start_agent(options)
  local files = tempfile()
  for _, suffix in ipairs({".log", ".err", ".pid"}) do temporary[#temporary + 1] = files .. suffix end
  local process, complaint = P.start(U.AGENT_BIN, options, files)
  if not process then error("snmp-test-agent " .. tostring(options) .. " did not start: " .. tostring(complaint), 2) end
  local agent = {process = process, port = process.port, log = process.log, pid = process.pid, options = options}
  running[#running + 1] = agent
  return agent
end

function U.stop_agent(agent)
  if agent.process then
    P.stop(agent.process)
    agent.process = nil
  end
end

-- Runs body, then stops every agent and removes the temporary files, and
-- raises body's error if it failed.
function U.main(body)
  local ok, message = xpcall(body, debug.traceback)
  for _, agent in ipairs(running) do U.stop_agent(agent) end
  for _, path in ipairs(temporary) do os.remove(path) end
  if not ok then error(message, 0) end
end

---------------------------------------------------------------------------
-- The request log (tools/agent/README.md): one table per line with the
-- key=value fields by name (arrival is the first word) and the bindings in
-- order, each {oid=, value=}.

function U.log_entries(agent)
  local list = {}
  for _, raw in ipairs(P.read_log(agent.log)) do
    local entry = {bindings = {}, line = raw.line, arrival = raw.arrival}
    for _, field in ipairs(raw.fields) do entry[field[1]] = field[2] end
    for _, b in ipairs(raw.bindings) do entry.bindings[#entry.bindings + 1] = {oid = b.name, value = b.text} end
    list[#list + 1] = entry
  end
  return list
end

-- The entries logged since the last call for this agent, once there are at
-- least `count` of them (the agent logs a request just after its replies went
-- out, so a script that has its answer may be a moment early).
function U.take_log(agent, count)
  local first = (agent.taken or 0) + 1
  local all = E.poll(function()
    local entries = U.log_entries(agent)
    return #entries >= first - 1 + (count or 0) and entries
  end, 10, "log of " .. agent.options)
  agent.taken = #all
  return table.move(all, first, #all, 1, {})
end

-- The first entry after the taken ones that satisfies the predicate, once it is logged.
function U.wait_entry(agent, predicate, label)
  return E.poll(function()
    local entries = U.log_entries(agent)
    for i = (agent.taken or 0) + 1, #entries do
      if predicate(entries[i]) then return entries[i] end
    end
  end, 10, label)
end

-- Checks one log entry's fields against a table of wanted values.
function U.expect_entry(entry, wanted, label)
  T.truthy(entry, label .. ": logged")
  for key, value in pairs(wanted) do
    T.eq(entry[key], value, label .. ": " .. key)
  end
end

---------------------------------------------------------------------------
-- Script calls

-- snmpgetEx to the agent; answers the result, snmpobjid() and the messages.
function U.get(agent, community, oid, timeout, retries)
  local messages, result = E.with_messages(function()
    return snmpgetEx(E.HOST, agent.port, 0, community, oid, timeout or 2000, retries or 2)
  end)
  return result, snmpobjid(), messages
end

-- A get that must bring back no value: the number 0, message 1127, an empty
-- snmpobjid().
function U.expect_no_value(agent, community, oid, label)
  local result, objid, messages = U.get(agent, community, oid, U.FAIL_TIMEOUT, U.FAIL_RETRIES)
  T.eq(result, 0, label .. ": the number 0")
  T.eq(objid, "", label .. ": snmpobjid empty")
  E.expect_messages(messages, {{1127, "Couldn't get variable (" .. oid .. ")"}}, label)
end

-- A get whose session cannot be opened: empty result, message 1128.
function U.expect_no_session(agent, community, oid, label, timeout, retries)
  local result, _, messages = U.get(agent, community, oid, timeout or U.FAIL_TIMEOUT, retries or U.FAIL_RETRIES)
  T.eq(result, nil, label .. ": empty result")
  E.expect_messages(messages, {{1128, "Couldn't open snmp"}}, label)
end

-- Runs a script in a second runner; answers its standard output, standard
-- error and exit status.
function U.run_child(script, ...)
  local out, err = tempfile(), tempfile()
  local words = {E.quote(U.RUNNER), "--module", E.quote(U.MODULE), E.quote(U.FOLDER .. "/" .. script)}
  for _, a in ipairs({...}) do words[#words + 1] = E.quote(a) end
  local ok, how, code = os.execute(table.concat(words, " ") .. " >" .. out .. " 2>" .. err)
  T.eq(how, "exit", script .. ": ended by itself")
  return E.read_file(out), E.read_file(err), code, ok
end

return U
