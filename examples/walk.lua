-- Walks subtrees of an agent with snmpgetnext.
--
--   vantor-lua examples/walk.lua [HOST[:PORT]] [COMMUNITY] [SUBTREE...]
--
-- Defaults: 127.0.0.1, port 161, community "public", the system group.
-- COMMUNITY "+public" walks with SNMPv2c, "#user/auth/priv/context" with SNMPv3
-- (v3_walk.lua builds it from snmpwalk's options). Examples of subtrees: system,
-- ifEntry (the interface table's rows), mib-2.4.20 (IP addresses).
--
-- A walk ends in one of three ways, and this script tells which:
--   * the next name lies outside the subtree;
--   * the name did not increase: in SNMPv2c the agent answers past its last
--     variable with endOfMibView, which a script sees as the empty string
--     with snmpobjid() unchanged;
--   * no value came back: snmpobjid() is empty (message 1127). In SNMPv1
--     the agent ends its view with error status noSuchName (2).
local target = arg[1] or "127.0.0.1"
local community = arg[2] or "public"
local host, port = target:match("^(.-):(%d+)$")
host, port = host or target, tonumber(port) or 161
-- An SNMPv3 community is shown without its secrets.
local shown = community:sub(1, 1) == "#" and community:gsub(":[^/]*", ":...") or community
local subtrees = {table.unpack(arg, 3)}
if #subtrees == 0 then subtrees = {"system"} end

local last_message
vantor.on_message(function(id, text) last_message = {id = id, text = text} end)

local function parts(oid)
  local list = {}
  for n in oid:gmatch("%d+") do list[#list + 1] = tonumber(n) end
  return list
end

-- -1, 0, 1 as a sorts before, equal to, after b.
local function compare(a, b)
  local x, y = parts(a), parts(b)
  for i = 1, math.min(#x, #y) do
    if x[i] ~= y[i] then return x[i] < y[i] and -1 or 1 end
  end
  return #x == #y and 0 or (#x < #y and -1 or 1)
end

local function within(oid, subtree)
  return oid:sub(1, #subtree + 1) == subtree .. "."
end

local function show(value)
  if type(value) == "string" then return string.format("%q", value) end
  return tostring(value)
end

-- The subtree in plain dotted decimal (prefix names expanded); nil if invalid.
local function numeric(subtree)
  if oidLength(subtree) <= 0 then return nil end
  return oidSetValue(subtree, 0, oidGetValue(subtree, 0))
end

local function walk(text)
  local subtree = numeric(text)
  if not subtree then
    print(string.format("%s: not an OID", text))
    return
  end
  print(string.format("-- walk of %s (%s) at %s:%d, community %q", text, subtree, host, port, shown))

  -- A get of the subtree's own name fixes the agent, port, community,
  -- timeout and retries for the get-next calls and puts snmpobjid() there.
  -- In SNMPv1 that name does not exist: the agent answers noSuchName,
  -- snmpobjid() becomes empty, and the walk then starts at the agent's first
  -- variable and skips what lies before the subtree.
  last_message = nil
  local value = snmpgetEx(host, port, 0, community, subtree, 1000, 2)
  if value == nil then
    print(string.format("   cannot start: %s", last_message and last_message.text or "refused"))
    return
  end
  if snmpobjid() == "" and snmpGetLastError() ~= SNMP_ERR_NOSUCHNAME then
    print(string.format("   no answer: %s", last_message and last_message.text or "?"))
    return
  end

  local count, skipped, reason = 0, 0, nil
  while true do
    local asked = snmpobjid()
    last_message = nil
    value = snmpgetnext()
    local name = snmpobjid()
    if name == "" then
      local status = snmpGetLastError()
      if status == SNMP_ERR_NOSUCHNAME and last_message and last_message.id == 1127 then
        reason = "end of the agent's variables (noSuchName)"
      else
        reason = string.format("no value: %s (last error status %d)",
          last_message and last_message.text or "?", status)
      end
      break
    end
    if asked ~= "" and compare(name, asked) <= 0 then
      reason = "end of the agent's view (endOfMibView: the name did not increase)"
      break
    end
    if compare(name, subtree) < 0 then
      skipped = skipped + 1                   -- SNMPv1 start: still before the subtree
    elseif not within(name, subtree) then
      reason = "left the subtree at " .. name
      break
    else
      count = count + 1
      print(string.format("%s = %s", name, show(value)))
    end
  end
  print(string.format("-- %d variables%s; %s", count,
    skipped > 0 and string.format(" (%d skipped before the subtree)", skipped) or "", reason))
end

for _, subtree in ipairs(subtrees) do walk(subtree) end
