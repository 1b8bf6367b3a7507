-- The OID functions as a script calls them, with the module loaded by the runner.
local T = require("testlib")

-- Before any request: empty OID and no error status.
T.eq(snmpobjid(), "", "snmpobjid before any request")
T.eq(snmpGetLastError(), 0, "snmpGetLastError before any response")

local lengths = {
  {"system", 7}, {"SYSTEM.1.0", 9}, {"ifentry.2", 10}, {"internet", 4}, {"", 0},
  {"1.3.", 2}, {".1.3", -1}, {"1..3", -1}, {"1.3.x", -1}, {"systemx", -1},
  {"1.3.system", -1}, {T.oid_of_length(256), 256}, {T.oid_of_length(257), -1},
  {"1.3\0.6", -1}, {"mib-2", 6}, {"Enterprises.311", 7},
}
for _, c in ipairs(lengths) do
  T.eq(oidLength(c[1]), c[2], "oidLength " .. c[1]:sub(1, 20))
end

local gets = {
  {"1.3.6.1", 3, 1}, {"1.3.6.1", 3.9, 1}, {"1.3.6.1", 4, -1}, {"1.3.6.1", -0.5, -1},
  {"enterprises.9", 6, 9}, {"1.4294967295", 1, 4294967295}, {"1.4294967296", 1, 0},
  {"1.x", 0, -1},
}
for _, c in ipairs(gets) do
  T.eq(oidGetValue(c[1], c[2]), c[3], "oidGetValue " .. c[1] .. " " .. c[2])
end

local sets = {
  {"1.3.6", 5, 7, "1.3.6.0.0.7"},
  {"system.1", 8, 0, "1.3.6.1.2.1.1.1.0"},
  {"1.3", 256, 1, "1.3"},
  {"1.x", 0, 1, "1.x"},
  {"1.3", 0, -1, "4294967295.3"},
  {"internet.2", 1, 4294967296 + 5, "1.5.6.1.2"},
}
for _, c in ipairs(sets) do
  T.eq(oidSetValue(c[1], c[2], c[3]), c[4], "oidSetValue " .. c[1] .. " " .. c[2])
end

-- Wrong argument types give the empty result (nil), not -1.
T.eq(oidLength(5), nil, "oidLength of a number")
T.eq(oidLength(), nil, "oidLength without arguments")
T.eq(oidGetValue("1.3", "1"), nil, "oidGetValue with a string index")
T.eq(oidGetValue(1.3, 1), nil, "oidGetValue with a numeric OID")
T.eq(oidSetValue("1.3", 0), nil, "oidSetValue without a value")

-- None of them touched the module-wide OID.
T.eq(snmpobjid(), "", "snmpobjid after OID functions")
print("ok")
