-- snmp-test-agent processes for the Lua suites: each started on a loopback
-- port with its request log and a file for its complaints, ending by itself
-- after a minute should the script die without stopping it.
local E = require("e2elib")
local P = {}

-- Starts the agent program with the option words (already quoted for the
-- shell) on the given port (0: any). Its files are FILES.log, FILES.err and
-- FILES.pid. Answers the process {pid=, port=, pipe=, log=, err=}, or nil and
-- the agent's complaint.
function P.start(program, words, files, port)
  local pidfile = files .. ".pid"
  local command = string.format("echo $$ > %s; echo $$; exec %s --port %d --log %s --exit-after-seconds 60 %s 2>%s",
    E.quote(pidfile), E.quote(program), port or 0, E.quote(files .. ".log"), words or "", E.quote(files .. ".err"))
  local pipe = assert(io.popen(command, "r"))
  local pid = pipe:read("l")
  local line = pipe:read("l")
  local bound = line and tonumber(line:match("^port (%d+)$"))
  if not (pid and bound) then
    pipe:close()
    os.remove(pidfile)
    return nil, E.read_file(files .. ".err")
  end
  return {pid = pid, port = bound, pipe = pipe, log = files .. ".log", err = files .. ".err", pidfile = pidfile}
end

-- Stops it (SIGTERM ends it cleanly); answers how it ended, as pipe:close() does.
function P.stop(process)
  os.execute("kill " .. process.pid .. " 2>/dev/null")
  local ok, how, code = process.pipe:close()
  os.remove(process.pidfile)
  return ok, how, code
end

-- The agent's request log (tools/agent/README.md), a table per line: the
-- line, its first word (the arrival time), the fields before the bindings as
-- {key, text} in order, and the bindings as {name=, text=} (text: what stands
-- behind "NAME=", nil for a bare name).
function P.read_log(path)
  local list = {}
  for line in E.read_file(path):gmatch("[^\n]+") do
    local entry = {line = line, fields = {}, bindings = {}}
    for word in line:gmatch("%S+") do
      local key, text = word:match("^(%a+)=(.*)$")
      if entry.arrival == nil then
        entry.arrival = word
      elseif key and #entry.bindings == 0 then
        entry.fields[#entry.fields + 1] = {key, text}
      else
        local name, value = word:match("^([%d%.]+)=(.*)$")
        entry.bindings[#entry.bindings + 1] = {name = name or word, text = value}
      end
    end
    list[#list + 1] = entry
  end
  return list
end

return P
