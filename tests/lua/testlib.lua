-- Assertions for the end-to-end scripts: a failure raises a Lua error, so the
-- runner exits with status 1 and ctest reports the test as failed.
local T = {}

local function show(v)
  if type(v) == "string" then return string.format("%q", v) end
  if math.type(v) then return string.format("%s (%s)", tostring(v), math.type(v)) end
  return tostring(v)
end

function T.eq(actual, expected, label)
  if actual ~= expected or type(actual) ~= type(expected) then
    error(string.format("%s: got %s, wanted %s", label or "check", show(actual), show(expected)), 2)
  end
end

function T.truthy(value, label)
  if not value then error((label or "check") .. ": not true", 2) end
end

-- Collects every host message from here on; returns the list.
function T.capture_messages()
  local list = {}
  vantor.on_message(function(id, text, detail)
    list[#list + 1] = {id = id, text = text, detail = detail}
  end)
  return list
end

function T.oid_of_length(n)
  local parts = {}
  for i = 1, n do parts[i] = tostring(i % 40) end
  return table.concat(parts, ".")
end

return T
