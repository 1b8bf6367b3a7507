-- Helpers for the scripts that talk to the project's test agent
-- (snmp-test-agent) through the runner: agents started and stopped with the
-- flags a case needs, their request logs, their tables as `--dump-table`
-- prints them and the value a script must see for each variable, and the
-- engine's diagnostics on the runner's standard error (run.sh sends it to a
-- file).
local T = require("testlib")
local E = require("e2elib")
local P = require("agent_process")
local A = {}

A.HOST = "127.0.0.1"

local started = 0
local running = {}

local function shell_words(args)
  if type(args) == "table" then
    local quoted = {}
    for i, word in ipairs(args) do quoted[i] = E.quote(word) end
    return table.concat(quoted, " ")
  end
  return args or ""
end

---------------------------------------------------------------------------
-- Agents

local Agent = {}
Agent.__index = Agent

-- Starts an agent with the given flags (a string of shell words or a list);
-- nil and the agent's complaint when it does not start.
function A.try_start(args, port)
  started = started + 1
  local base = string.format("%s/agent%d", E.env("AGENT_DIR"), started)
  local process, complaint = P.start(E.env("AGENT_BIN"), shell_words(args), base, port)
  if not process then return nil, complaint end
  local agent = setmetatable({process = process, pid = process.pid, port = process.port, base = base,
                              args = shell_words(args), taken = 0, marks = 0}, Agent)
  running[agent] = true
  return agent
end

-- Starts an agent on 127.0.0.1 at a port of the system's choice. It logs to
-- a file of its own, and ends by itself after a minute should the script die
-- without stopping it.
function A.start(args)
  local agent, complaint = A.try_start(args)
  if not agent then error(string.format("the agent did not start (%s): %s", shell_words(args), complaint), 2) end
  return agent
end

-- An agent on port 161 of a random loopback address, for the functions that
-- always send there (snmpget, snmpset); nil when no such port can be bound
-- (without the right to bind it, or with an agent on 0.0.0.0:161). Its
-- address is agent.host.
function A.start_well_known(args)
  local words = shell_words(args)
  for _ = 1, 5 do
    local host = string.format("127.%d.%d.%d", math.random(1, 254), math.random(1, 254), math.random(1, 254))
    local agent = A.try_start("--address " .. host .. " " .. words, 161)
    if agent then
      agent.host = host
      return agent
    end
  end
  return nil
end

-- Stops the agent; it must end with status 0 (SIGTERM ends it cleanly).
function Agent:stop()
  if not running[self] then return end
  running[self] = nil
  local ok, how, code = P.stop(self.process)
  if not ok then
    error(string.format("agent (%s) ended with %s %s: %s", self.args, tostring(how), tostring(code),
      E.read_file(self.base .. ".err")), 2)
  end
end

-- Runs the body; the agents it started are stopped whatever happens.
function A.run(body)
  local ok, err = xpcall(body, debug.traceback)
  for agent in pairs(running) do pcall(Agent.stop, agent) end
  if not ok then error(err, 0) end
end

-- The log lines of the agent as records: time, port, version, community,
-- command, id, action, sent, status, index, and bindings {name=, type=, value=}.
function Agent:log()
  local list = {}
  for _, raw in ipairs(P.read_log(self.base .. ".log")) do
    local entry = {time = raw.arrival, bindings = {}}
    for _, field in ipairs(raw.fields) do entry[field[1]] = tonumber(field[2]) or field[2] end
    for _, b in ipairs(raw.bindings) do
      local binding = {name = b.name}
      if b.text then binding.type, binding.value = b.text:match("^([^:]+):(.*)$") end
      entry.bindings[#entry.bindings + 1] = binding
    end
    list[#list + 1] = entry
  end
  return list
end

-- The log entries of every datagram the module sent to this agent since the
-- last call. A marker request with a community the agent refuses goes out
-- last and is waited for: one sender's datagrams reach the agent in order.
-- The marker changes what snmpobjid() gives, nothing else a script uses.
function Agent:take()
  self.marks = self.marks + 1
  local marker = "marker" .. self.marks
  E.with_messages(function() return snmpgetEx(self.host or A.HOST, self.port, 0, marker, "1.3.6.1.2.1.1.1.0", 1, 1) end)
  return E.poll(function()
    local log = self:log()
    for i = self.taken + 1, #log do
      if log[i].community == marker then
        local taken = table.move(log, self.taken + 1, i - 1, 1, {})
        self.taken = i
        return taken
      end
    end
  end, 10, "the agent's log")
end

---------------------------------------------------------------------------
-- The engine's diagnostics

local stderr_seen = 0

-- What the runner wrote to its standard error since the last call.
function A.stderr_take()
  local text = E.read_file(E.env("RUNNER_STDERR"))
  local new = text:sub(stderr_seen + 1)
  stderr_seen = #text
  return new
end

---------------------------------------------------------------------------
-- Tables and values

-- The octets of a value in the table format: a double-quoted string with
-- \\ \" \n \r \t \xHH escapes, or the text as it stands.
function A.unquote(text)
  if text:sub(1, 1) ~= '"' then return text end
  local body = text:match('^"(.*)"$')
  if not body then error("not a quoted string: " .. text, 2) end
  local simple = {n = "\n", r = "\r", t = "\t", ['"'] = '"', ["\\"] = "\\"}
  local out, i = {}, 1
  while i <= #body do
    local c = body:sub(i, i)
    if c ~= "\\" then
      out[#out + 1], i = c, i + 1
    elseif body:sub(i + 1, i + 1) == "x" then
      local hex = body:sub(i + 2, i + 3)
      if not hex:match("^%x%x$") then error("bad escape in " .. text, 2) end
      out[#out + 1], i = string.char(tonumber(hex, 16)), i + 4
    else
      local replaced = simple[body:sub(i + 1, i + 1)]
      if not replaced then error("unknown escape in " .. text, 2) end
      out[#out + 1], i = replaced, i + 2
    end
  end
  return table.concat(out)
end

-- Hex octets written 00:01:ff (or with blanks) as bytes.
function A.hex_bytes(text)
  local bytes = {}
  for h in text:gmatch("%x%x") do bytes[#bytes + 1] = string.char(tonumber(h, 16)) end
  return table.concat(bytes)
end

-- The agent's table as `--dump-table` prints it with these flags: a list of
-- {oid=, type=, text=} in OID order.
function A.dump_table(args)
  local out = E.run(string.format("%s --dump-table %s", E.quote(E.env("AGENT_BIN")), shell_words(args)))
  local list = {}
  for line in out:gmatch("[^\n]+") do
    local oid, kind, rest = line:match("^(%S+)%s+(%S+)%s*(.*)$")
    if not oid then error("unexpected line of --dump-table: " .. line) end
    list[#list + 1] = {oid = oid:gsub("^%.", ""), type = kind:lower(), text = rest}
  end
  return list
end

-- The decimal text of a 64-bit word read as unsigned.
function A.unsigned64(n)
  if n >= 0 then return tostring(n) end
  local q = (n >> 1) // 5
  return tostring(q) .. tostring(n - q * 10)
end

local NUMBER_TYPES = {integer = true, counter = true, gauge = true, timeticks = true, unsigned = true}
local BLOCK_TYPES = {hex = true, opaque = true, nsap = true}
local EXCEPTIONS = {["0x80"] = "noSuchObject", ["0x81"] = "noSuchInstance", ["0x82"] = "endOfMibView"}

-- What a script must get for a variable of the table.
function A.expected(entry)
  local kind, text = entry.type, entry.text
  if NUMBER_TYPES[kind] then return math.tointeger(tonumber(text)) end
  if kind == "null" then return 0 end
  if kind == "string" then return E.byte_block_text(A.unquote(text)) end
  if BLOCK_TYPES[kind] then return E.byte_block_text(A.hex_bytes(text)) end
  if kind == "oid" or kind == "ipaddress" then return text end
  if kind == "counter64" then
    local high, low = text:match("^(%d+),(%d+)$")
    if high then return string.format("%d,%d", tonumber(high), tonumber(low)) end
    return E.counter64_text(text)
  end
  if EXCEPTIONS[kind] then return "" end
  error("no expected value for the type " .. kind)
end

A.EXCEPTIONS = EXCEPTIONS

-- The entry of the list with the given OID, or nil.
function A.find(list, oid)
  for _, entry in ipairs(list) do
    if entry.oid == oid then return entry end
  end
  return nil
end

---------------------------------------------------------------------------
-- Checks

-- A request that brought a value: no message, the value, the name, status 0.
function A.expect_value(label, oid, expected, fn)
  local messages, value = E.with_messages(fn)
  E.expect_messages(messages, {}, label)
  T.eq(value, expected, label .. ": value")
  T.eq(snmpobjid(), oid, label .. ": snmpobjid")
  T.eq(snmpGetLastError(), 0, label .. ": snmpGetLastError")
end

-- A request that brought none: message 1127 naming the OID text, the number
-- 0, an empty snmpobjid, and the error status (nil: not checked).
function A.expect_failure(label, oid_text, status, fn)
  local messages, value = E.with_messages(fn)
  E.expect_messages(messages, {{1127, "Couldn't get variable (" .. oid_text .. ")"}}, label)
  T.eq(value, 0, label .. ": the number 0")
  T.eq(snmpobjid(), "", label .. ": snmpobjid empty")
  if status ~= nil then T.eq(snmpGetLastError(), status, label .. ": snmpGetLastError") end
end

return A
