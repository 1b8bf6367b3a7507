-- Reads variables from an agent.
--
--   vantor-lua examples/get.lua [HOST[:PORT]] [COMMUNITY] [OID...]
--
-- Defaults: 127.0.0.1, port 161, community "public" (write "+public" for
-- SNMPv2c, "#user/auth/priv/context" for SNMPv3), and a few variables of the
-- system group. A scalar's name ends in ".0" (sysName is system.5, its one
-- instance system.5.0).
local target = arg[1] or "127.0.0.1"
local community = arg[2] or "public"
local host, port = target:match("^(.-):(%d+)$")
host, port = host or target, tonumber(port) or 161

local oids = {table.unpack(arg, 3)}
if #oids == 0 then
  oids = {"system.1.0", "system.3.0", "system.4.0", "system.5.0", "system.6.0"}
end

-- The module reports failures as host messages; keep the latest for the output.
local notice
vantor.on_message(function(id, text) notice = string.format("message %d: %s", id, text) end)

local function show(value)
  if type(value) == "string" then return string.format("%q", value) end
  return tostring(value)
end

-- An SNMPv3 community is shown without its secrets.
local shown = community:sub(1, 1) == "#" and community:gsub(":[^/]*", ":...") or community
print(string.format("agent %s:%d, community %q", host, port, shown))
for _, oid in ipairs(oids) do
  notice = nil
  local value = snmpgetEx(host, port, 0, community, oid, 1000, 2)
  local name = snmpobjid()
  if value == nil or name == "" then
    -- Empty result: an argument was refused or no session opened. Empty
    -- snmpobjid: no value came back (no answer, or an error status; the
    -- status belongs to the last response that did arrive).
    print(string.format("%-20s failed: %s (last error status %d)", oid, notice or "no result",
      snmpGetLastError()))
  else
    print(string.format("%-20s %s = %s", oid, name, show(value)))
  end
end
