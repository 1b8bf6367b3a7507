-- How host values reach the module: the asymmetric type tests, unused ids,
-- and binary variables.
local T = require("testlib")
local V = vantor.value

-- A number is any type word whose bits under 0xF000 are 0x1000.
for _, t in ipairs({0x1000, 0x1001, 0x1FFF, 0x11000}) do
  T.eq(oidGetValue("1.3", V(t, 1)), 3, string.format("number type 0x%x", t))
end
for _, t in ipairs({0, 0x0FFF, 0x2000, 0x3000}) do
  T.eq(oidGetValue("1.3", V(t, 1)), nil, string.format("not a number type 0x%x", t))
end
-- A string is exactly 0x2000.
T.eq(oidLength(V(0x2000, 0, "1.3.6")), 3, "string type")
for _, t in ipairs({0x2001, 0x2FFF, 0x12000, 0x1000}) do
  T.eq(oidLength(V(t, 0, "1.3.6")), nil, string.format("not a string type 0x%x", t))
end

-- Ids that no row names leave the result empty.
for _, id in ipairs({1, 8, 11, 24, 99, -1}) do
  T.eq(vantor.call_id(id, "1.3", 1, 1), nil, "id " .. id)
end
T.eq(vantor.call_id(7, "1.3.6"), 3, "id 7 is oidLength")

-- A binary variable travels as the text "BIN".
local b = bin("\1\2\3")
T.eq(oidLength(b), -1, "BIN is no OID")
T.eq(oidSetValue(b, 0, 1), "BIN", "BIN comes back unchanged")

-- Results: integral numbers as integers, others as floats.
T.eq(math.type(oidLength("1.3")), "integer", "integral result")
T.eq(math.type(oidGetValue("1.4294967295", 1)), "integer", "large integral result")

-- Unsupported Lua values are a script error, not a module call.
local ok, err = pcall(oidLength, {})
T.eq(ok, false, "table argument refused")
T.truthy(tostring(err):find("unsupported"), "message names the problem")
print("ok")
