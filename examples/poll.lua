-- Polls the interface table: ifInOctets, ifOutOctets and ifOperStatus of every
-- interface, all of them in one request per round.
--
--   vantor-lua examples/poll.lua [HOST[:PORT]] [COMMUNITY] [ROUNDS] [SECONDS]
--
-- Defaults: 127.0.0.1, port 161, community "+public" (SNMPv2c), 3 rounds, 1
-- second apart. The interfaces are found first with a walk of ifIndex (which
-- reads ahead with GetBulk); each round is then one snmpgetvars: one
-- GetRequest and one Response for all of them, read back with snmpvar(k).
local target = arg[1] or "127.0.0.1"
local community = arg[2] or "+public"
local rounds = tonumber(arg[3]) or 3
local pause = tonumber(arg[4]) or 1
local host, port = target:match("^(.-):(%d+)$")
host, port = host or target, tonumber(port) or 161

local notice
vantor.on_message(function(id, text) notice = string.format("message %d: %s", id, text) end)

-- The interfaces: ifIndex (ifEntry.1) of every row.
local interfaces = {}
snmpgetEx(host, port, 0, community, "ifEntry.1", 1000, 2)
while true do
  local before = snmpobjid()
  local index = snmpgetnext()
  local name = snmpobjid()
  if name == "" or name == before or not name:find("^1%.3%.6%.1%.2%.1%.2%.2%.1%.1%.") then break end
  interfaces[#interfaces + 1] = index
end
if #interfaces == 0 then
  print("no interfaces: " .. (notice or "the walk found none"))
  return
end

local columns = {{10, "in"}, {16, "out"}, {8, "status"}}  -- ifInOctets, ifOutOctets, ifOperStatus
snmpclearvars()
for _, index in ipairs(interfaces) do
  for _, column in ipairs(columns) do snmpaddvar("ifEntry." .. column[1] .. "." .. index) end
end
print(string.format("%d interfaces, %d variables a round", #interfaces, 3 * #interfaces))

for round = 1, rounds do
  notice = nil
  local got = snmpgetvarsEx(host, port, 0, community, 1000, 2)
  if got == 0 then
    print(string.format("round %d: no values (%s)", round, notice or "?"))
  else
    for i, index in ipairs(interfaces) do
      local values = {}
      for c, column in ipairs(columns) do
        local value = snmpvar(3 * (i - 1) + c)    -- no datagram
        values[#values + 1] = column[2] .. " " .. (snmpobjid() ~= "" and tostring(value) or "-")
      end
      print(string.format("round %d: interface %s: %s", round, tostring(index), table.concat(values, ", ")))
    end
  end
  if round < rounds then os.execute("sleep " .. pause) end
end
