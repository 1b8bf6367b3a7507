-- A walk of a large table with a time budget: every variable of the test
-- agent's generated table, one snmpgetnext each, with the process's memory
-- read at the start, along the way and at the end. It must stay flat.
--
--   vantor-lua walk_memory.lua PORT ROWS [BUDGET_SECONDS] [ALLOWED_GROWTH_KB]
local port = tonumber(arg[1] ~= "" and arg[1] or os.getenv("AGENT_PORT"))
local rows = tonumber(arg[2] or "20000")
local budget = tonumber(arg[3] or "300")
local allowedKb = tonumber(arg[4] or "1024")
assert(port, "no agent port")

local function rssKb()
  for line in io.lines("/proc/self/status") do
    local kb = line:match("^VmRSS:%s+(%d+)")
    if kb then return tonumber(kb) end
  end
end

local column = "1.3.6.1.4.1.99999.2.1"
local expected = rows * 3
local started = os.clock()
local wallStart = os.time()

-- Fix the target: the get fails (the column's own name), which empties the OID,
-- so start from the table's name instead.
snmpgetEx("127.0.0.1", port, 0, "public", column .. ".1.1")
local first = snmpobjid()
assert(first == column .. ".1.1", "first row missing: " .. first)

local seen, samples = 1, {}
local warm = nil
while true do
  local before = snmpobjid()
  local value = snmpgetnext()
  local name = snmpobjid()
  if name == "" or name:sub(1, #column + 1) ~= column .. "." then break end
  seen = seen + 1
  if seen == 1000 then warm = rssKb() end
  if seen % math.max(1, expected // 10) == 0 then samples[#samples + 1] = rssKb() end
  if os.time() - wallStart > budget then
    error(string.format("time budget of %d s spent after %d variables", budget, seen))
  end
end
local final = rssKb()
local cpu = os.clock() - started

print(string.format("walked %d variables (expected %d) in %d s wall, %.2f s CPU of the runner", seen, expected,
  os.time() - wallStart, cpu))
print(string.format("memory (VmRSS, kB): after 1000 %d; along the way %s; at the end %d; growth %d kB",
  warm, table.concat(samples, " "), final, final - warm))
assert(seen == expected, "not every variable was walked")
assert(final - warm <= allowedKb, "memory grew by " .. (final - warm) .. " kB")
