-- Helpers for the scripts that talk to real peers on loopback: the peers'
-- ports from the environment, Net-SNMP's command-line tools as the reference,
-- the value a script should see for what those tools print, and the log of
-- the receiving sink (udp_sink.py).
local T = require("testlib")
local E = {}

E.HOST = "127.0.0.1"

function E.env(name)
  local value = os.getenv(name)
  if value == nil or value == "" then error("environment variable " .. name .. " is not set", 2) end
  return value
end

function E.port(name) return tonumber(E.env(name)) end

function E.quote(text) return "'" .. tostring(text):gsub("'", "'\\''") .. "'" end

-- Standard output and standard error of a shell command, and how it ended
-- (as os.execute tells). The two are kept apart: a tool's diagnostics, such
-- as Net-SNMP's "Created directory: ..." on a first run, are not its output.
function E.capture(command)
  local err_path = os.tmpname()
  local pipe = assert(io.popen(string.format("( %s ) 2>%s", command, E.quote(err_path)), "r"))
  local out = pipe:read("a")
  local ok, how, code = pipe:close()
  local err = E.read_file(err_path)
  os.remove(err_path)
  return out, err, ok, how, code
end

-- Standard output of a shell command; raises when it fails, with its
-- standard error.
function E.run(command)
  local out, err, ok, how, code = E.capture(command)
  if not ok then error(string.format("%s: %s %s: %s", command, tostring(how), tostring(code), err), 2) end
  return out
end

function E.read_file(path)
  local f = io.open(path, "rb")
  if not f then return "" end
  local text = f:read("a")
  f:close()
  return text
end

function E.nap(seconds) os.execute("sleep " .. seconds) end

-- Calls check() until it returns a true value or the deadline passes.
function E.poll(check, seconds, label)
  local deadline = os.time() + (seconds or 10)
  while true do
    local value = check()
    if value then return value end
    if os.time() > deadline then error((label or "poll") .. ": gave up waiting", 2) end
    E.nap(0.02)
  end
end

---------------------------------------------------------------------------
-- OIDs

function E.oid_parts(oid)
  local parts = {}
  for n in oid:gmatch("%d+") do parts[#parts + 1] = tonumber(n) end
  return parts
end

-- -1, 0 or 1 as a sorts before, equal to or after b (lexicographic by sub-identifier).
function E.oid_compare(a, b)
  local x, y = E.oid_parts(a), E.oid_parts(b)
  for i = 1, math.min(#x, #y) do
    if x[i] ~= y[i] then return x[i] < y[i] and -1 or 1 end
  end
  if #x == #y then return 0 end
  return #x < #y and -1 or 1
end

function E.oid_within(oid, subtree)
  return oid == subtree or oid:sub(1, #subtree + 1) == subtree .. "."
end

-- Subtrees whose values change by themselves between two readings even when
-- two snapshots happen to agree: uptimes and clocks, host resources (system
-- figures, storage, device load, processes), the UCD memory, load and CPU
-- figures, the count of open TCP connections, and the agent's cache states
-- (they flip as walks fill the caches). Their values are compared by kind only.
E.VOLATILE = {
  "1.3.6.1.2.1.1.3",        -- sysUpTime
  "1.3.6.1.2.1.6.9",        -- tcpCurrEstab
  "1.3.6.1.2.1.25.1",       -- hrSystem: uptime, date, users, processes
  "1.3.6.1.2.1.25.2",       -- hrStorage
  "1.3.6.1.2.1.25.3",       -- hrDevice, processor load
  "1.3.6.1.2.1.25.4",       -- hrSWRun
  "1.3.6.1.2.1.25.5",       -- hrSWRunPerf
  "1.3.6.1.4.1.2021",       -- UCD memory, load, CPU
  "1.3.6.1.4.1.8072.1.5",   -- the agent's cache table
}

-- Tables whose rows come and go while a test runs: every new UDP socket (each
-- request of the module opens one, and so does every tool and every other
-- test on this machine) is a row of the UDP tables; TCP connections and
-- processes of other programs come and go too. Their rows are compared
-- loosely: rows the module sees that no snapshot had are allowed.
E.LOOSE = {
  "1.3.6.1.2.1.6.13",       -- tcpConnTable
  "1.3.6.1.2.1.6.19",       -- tcpConnectionTable
  "1.3.6.1.2.1.6.20",       -- tcpListenerTable
  "1.3.6.1.2.1.7.5",        -- udpTable
  "1.3.6.1.2.1.7.7",        -- udpEndpointTable
  "1.3.6.1.2.1.25.4.2",     -- hrSWRunTable
  "1.3.6.1.2.1.25.5.1",     -- hrSWRunPerfTable
}

function E.within_any(oid, list)
  for _, subtree in ipairs(list) do
    if E.oid_within(oid, subtree) then return subtree end
  end
  return nil
end

---------------------------------------------------------------------------
-- Net-SNMP's tools: numeric OIDs, numeric enumerations, octet strings in hex.

local TOOL_OPTIONS = "-On -Oe -Ox -m '' -M /nonexistent"

-- One parsed binding: {oid=, type=, value=, bytes=} where type is the tool's
-- word (INTEGER, Counter32, Gauge32, Timeticks, OID, IpAddress, Hex-STRING,
-- STRING, Opaque, Counter64, ...) and value its text; Hex-STRING also gives bytes.
function E.parse_tool_output(out)
  local list, last = {}, nil
  for line in out:gmatch("[^\n]*") do
    local oid, rest = line:match("^%.([%d%.]+) = (.*)$")
    if oid then
      local entry = {oid = oid}
      if rest == '""' then
        entry.type, entry.value = "Hex-STRING", ""
      elseif rest:match("^No Such Object") then
        entry.type = "noSuchObject"
      elseif rest:match("^No Such Instance") then
        entry.type = "noSuchInstance"
      elseif rest:match("^No more variables") then
        entry.type = "endOfMibView"
      else
        local kind, value = rest:match("^([%w%- ]+): ?(.*)$")
        if not kind then error("cannot read the tool's line: " .. line) end
        entry.type, entry.value = kind, value
      end
      list[#list + 1] = entry
      last = entry
    elseif line:match("^%x%x[%x ]*$") and last and last.type == "Hex-STRING" then
      last.value = last.value .. " " .. line   -- long strings go on over several lines
    elseif line ~= "" and line ~= "End of MIB" then
      error("unexpected line from the tool: " .. line)
    end
  end
  for _, entry in ipairs(list) do
    if entry.type == "Hex-STRING" then
      local bytes = {}
      for h in entry.value:gmatch("%x%x") do bytes[#bytes + 1] = string.char(tonumber(h, 16)) end
      entry.bytes = table.concat(bytes)
    elseif entry.type == "STRING" then
      entry.bytes = entry.value:match('^"(.*)"$') or entry.value
      entry.type = "Hex-STRING"
    end
  end
  return list
end

-- The shell command of a tool with the given version, community and
-- arguments. The launcher (peers.py, agent_e2e/run.sh) gives the tools a
-- private persistent folder and configuration path; without them a tool
-- would write under /var/lib/snmp and read the machine's snmp.conf.
function E.tool_command(program, version, community, port, args)
  E.env("SNMP_PERSISTENT_DIR")
  E.env("SNMPCONFPATH")
  return string.format("%s -v%s -c %s %s -t 2 -r 1 %s:%d %s",
    program, version, E.quote(community), TOOL_OPTIONS, E.HOST, port, args)
end

-- snmpwalk or snmpget with the given version, community and arguments.
function E.tool(program, version, community, port, args)
  return E.parse_tool_output(E.run(E.tool_command(program, version, community, port, args)))
end

-- How the module shows a byte block: the text when every octet is printable,
-- otherwise every octet as two upper-case hex digits joined by dots.
function E.byte_block_text(bytes)
  if bytes == "" then return "" end
  if not bytes:find("[^\32-\126]") then return bytes end
  return (bytes:gsub(".", function(c) return string.format("%02X.", c:byte()) end):sub(1, -2))
end

-- "high,low" of a decimal Counter64 text (integer arithmetic wraps at 2^64).
function E.counter64_text(decimal)
  local n = 0
  for digit in decimal:gmatch("%d") do n = n * 10 + tonumber(digit) end
  return string.format("%d,%d", n >> 32, n & 0xFFFFFFFF)
end

-- The value a script must get for a binding the tool printed, or nil when
-- only its kind can be checked (see E.same_kind).
function E.expected_value(entry)
  local t, v = entry.type, entry.value
  if t == "INTEGER" or t == "Counter32" or t == "Gauge32" then return math.tointeger(tonumber(v)) end
  if t == "Timeticks" then return math.tointeger(tonumber(v:match("^%((%d+)%)"))) end
  if t == "OID" then return (v:gsub("^%.", "")) end
  if t == "IpAddress" then return v end
  if t == "Hex-STRING" then return E.byte_block_text(entry.bytes) end
  if t == "Counter64" then return E.counter64_text(v) end
  if t == "noSuchObject" or t == "noSuchInstance" or t == "endOfMibView" then return "" end
  return nil
end

-- Whether a script's result has the form the tool's type gives.
function E.same_kind(entry, result)
  local t = entry.type
  if t == "INTEGER" then
    return math.type(result) == "integer" and result >= -2147483648 and result <= 2147483647
  end
  if t == "Counter32" or t == "Gauge32" or t == "Timeticks" then
    return math.type(result) == "integer" and result >= 0 and result <= 4294967295
  end
  if t == "Counter64" then return type(result) == "string" and result:match("^%d+,%d+$") ~= nil end
  if t == "IpAddress" then return type(result) == "string" and result:match("^%d+%.%d+%.%d+%.%d+$") ~= nil end
  if t == "OID" then return type(result) == "string" and result:match("^%d+[%d%.]*$") ~= nil end
  if t == "Opaque" then
    -- Net-SNMP's floats travel as opaque blocks 9F 78 04 and four octets.
    return type(result) == "string" and result:match("^9F%.78%.04%.%x%x%.%x%x%.%x%x%.%x%x$") ~= nil
  end
  return type(result) == "string"
end

-- Checks a script's result against two readings of the tool taken before
-- and after it: the exact value when both agree and the subtree is not
-- volatile, otherwise the kind. Answers "exact" or "kind".
function E.check_value(before, after, result, label)
  T.eq(after.type, before.type, label .. ": the tool's type stayed")
  local expected = E.expected_value(before)
  if expected ~= nil and before.value == after.value and not E.within_any(before.oid, E.VOLATILE) then
    T.eq(result, expected, label)
    return "exact"
  end
  if not E.same_kind(before, result) then
    error(string.format("%s: %s does not look like %s %s", label, tostring(result), before.type,
      tostring(before.value)), 2)
  end
  return "kind"
end

---------------------------------------------------------------------------
-- The sink (udp_sink.py): datagrams that reached a port where nobody answers.

function E.sink_records()
  local list = {}
  for line in E.read_file(E.env("SINK_LOG")):gmatch("[^\n]+") do
    local record = {}
    for key, value in line:gmatch("([^\t=]+)=([^\t]*)") do record[key] = value end
    record.local_port = tonumber(record["local"])
    record.from = tonumber(record.from)
    list[#list + 1] = record
  end
  return list
end

local marks = 0
local seen = 0

-- Every datagram that reached the sink since the last call, up to a marker
-- trap sent now to its main port. Loopback delivers a datagram into the
-- receiving socket's queue before sendto returns, and the sink reads its other
-- ports before the main one, so whatever the module sent before the marker is
-- logged before it. The marker itself is left out.
function E.sink_take()
  marks = marks + 1
  local marker = 424200 + marks
  local sent = snmptrapEx(E.HOST, E.port("SINK_PORT"), 0, "marker", 6, marker, "1.3.6.1.4.1.4242.99")
  T.eq(sent, 1, "marker trap sent")
  return E.poll(function()
    local all = E.sink_records()
    for i = seen + 1, #all do
      if all[i].pdu == "a4" and all[i].community == "marker" and tonumber(all[i].specific) == marker then
        local taken = table.move(all, seen + 1, i - 1, 1, {})
        seen = i
        return taken
      end
    end
  end, 10, "marker trap")
end

---------------------------------------------------------------------------
-- Messages

-- Calls fn with a fresh message list and returns fn's results and the list.
function E.with_messages(fn)
  local list = T.capture_messages()
  local result = table.pack(fn())
  vantor.on_message(nil)
  return list, table.unpack(result, 1, result.n)
end

function E.expect_messages(list, expected, label)
  T.eq(#list, #expected, (label or "messages") .. ": count")
  for i, want in ipairs(expected) do
    T.eq(list[i].id, want[1], string.format("%s: message %d id", label or "messages", i))
    T.eq(list[i].text, want[2], string.format("%s: message %d text", label or "messages", i))
  end
end

return E
