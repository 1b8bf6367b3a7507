-- peers: snmpd sink-well-known
-- snmpset/snmpsetEx against Net-SNMP's agent: writable strings through the
-- read-write community, read back by the module and by `snmpget`; sets the
-- agent refuses, with the error status `snmpset` reports for the same set;
-- and the argument forms that are checked before anything is sent (the sink
-- shows what went out).
local T = require("testlib")
local E = require("e2elib")

local port = E.port("SNMPD_PORT")
local sink = E.port("SINK_PORT")
local wk = os.getenv("SINK_WK_ADDR")
T.truthy(wk, "the sink could bind ports 161 and 162 on a loopback address")

local function tool_get(version, oid)
  return E.tool("snmpget", version, "public", port, oid)[1]
end

-- The error status `snmpset` reports for a set, as the module's constant.
local function tool_set_status(version, community, oid, kind, value)
  local out, err = E.capture(E.tool_command("snmpset", version, community, port,
    string.format("%s %s %s", oid, kind, E.quote(value))))
  local reason = err:match("Reason: %(?(%a+)")
  if not reason then error("snmpset did not fail as expected: " .. out .. err) end
  local status = _G["SNMP_ERR_" .. reason:upper()]
  if not status then error("no constant for " .. reason) end
  return status
end

-- Writable strings: the agent echoes the value; a get brings it back.
local stamp = tostring(os.time())
for _, case in ipairs({
  {"system.4.0", "1.3.6.1.2.1.1.4.0", "private", "e2e contact " .. stamp},
  {"system.5.0", "1.3.6.1.2.1.1.5.0", "private", "e2e-name-" .. stamp},
  {"system.6.0", "1.3.6.1.2.1.1.6.0", "+private", "e2e location (v2c) " .. stamp},
}) do
  local oid, numeric, community, text = case[1], case[2], case[3], case[4]
  local messages, echoed = E.with_messages(function()
    return snmpsetEx(E.HOST, port, 0, community, oid, ASN_OCTET_STR, text)
  end)
  T.eq(#messages, 0, oid .. ": no message")
  T.eq(echoed, text, oid .. ": the set returns the value the agent echoed")
  T.eq(snmpobjid(), numeric, oid .. ": snmpobjid")
  T.eq(snmpGetLastError(), 0, oid .. ": error status")
  T.eq(snmpgetEx(E.HOST, port, 0, "public", oid), text, oid .. ": read back by the module")
  T.eq(tool_get("1", numeric).bytes, text, oid .. ": read back by snmpget")
end

-- Octets that are not text, from a host binary variable, come back as dotted hex.
do
  local octets = "Lab\1\2\255"  -- the agent refuses a zero octet in this object
  local echoed = snmpsetEx(E.HOST, port, 0, "private", "system.6.0", ASN_OCTET_STR, bin(octets))
  T.eq(echoed, "4C.61.62.01.02.FF", "binary set: the echo in dotted hex")
  T.eq(tool_get("1", "1.3.6.1.2.1.1.6.0").bytes, octets, "binary set: snmpget reads the same octets")
  T.eq(snmpgetEx(E.HOST, port, 0, "public", "system.6.0"), "4C.61.62.01.02.FF", "binary set: read back")
  -- And the empty string.
  T.eq(snmpsetEx(E.HOST, port, 0, "private", "system.6.0", ASN_OCTET_STR, ""), "", "empty string set")
  T.eq(tool_get("1", "1.3.6.1.2.1.1.6.0").bytes, "", "empty string: snmpget")
end

-- Sets the agent refuses: the status snmpset reports, 1127, the number 0, snmpobjid empty.
local kept = snmpgetEx(E.HOST, port, 0, "public", "system.4.0")
for _, case in ipairs({
  {"1", "private", "system.4.0", ASN_INTEGER, 5, "i", "5", "wrong type in SNMPv1"},
  {"2c", "private", "system.4.0", ASN_INTEGER, 5, "i", "5", "wrong type in SNMPv2c"},
  {"1", "public", "system.4.0", ASN_OCTET_STR, "x", "s", "x", "read-only community in SNMPv1"},
  {"2c", "public", "system.4.0", ASN_OCTET_STR, "x", "s", "x", "read-only community in SNMPv2c"},
  {"1", "private", "system.1.0", ASN_OCTET_STR, "x", "s", "x", "read-only object in SNMPv1"},
  {"2c", "private", "system.1.0", ASN_OCTET_STR, "x", "s", "x", "read-only object in SNMPv2c"},
}) do
  local version, community, oid, asn, value, kind, text, label = table.unpack(case)
  local expected = tool_set_status(version, community, (oid:gsub("^system", "1.3.6.1.2.1.1")), kind, text)
  local prefix = version == "2c" and "+" or ""
  local messages, result = E.with_messages(function()
    return snmpsetEx(E.HOST, port, 0, prefix .. community, oid, asn, value)
  end)
  T.eq(result, 0, label .. ": the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (" .. oid .. ")"}}, label)
  T.eq(snmpGetLastError(), expected, label .. ": the error status snmpset reports")
  T.eq(snmpobjid(), "", label .. ": snmpobjid empty")
  print(string.format("%-34s status %d", label, expected))
end
T.eq(snmpgetEx(E.HOST, port, 0, "public", "system.4.0"), kept, "refused sets changed nothing")
-- The v1 wrong-type status is badValue, as the agent's documentation says.
T.eq(tool_set_status("1", "private", "1.3.6.1.2.1.1.4.0", "i", "5"), SNMP_ERR_BADVALUE, "badValue in v1")

-- The plain snmpset goes to port 161; the sink there receives and never answers.
do
  local messages, result = E.with_messages(function()
    return snmpset(wk, "private", "system.4.0", ASN_OCTET_STR, "to 161", 20, 1)
  end)
  T.eq(result, 0, "set to a silent port 161: the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.4.0)"}}, "set to a silent port 161")
  local got = E.sink_take()
  T.eq(#got, 1, "one transmission with 1 retry")
  T.eq(got[1].local_port, 161, "snmpset sends to port 161")
  T.eq(got[1].pdu, "a3", "a set request")
  T.eq(got[1].community, "private", "with the community")
  T.eq(got[1].vars, "1.3.6.1.2.1.1.4.0|04|" .. ("to 161"):gsub(".", function(c) return string.format("%02x", c:byte()) end),
    "with the name and the octet string")
end

-- The Counter64 form: four numbers are high word, low word, timeout, retries.
do
  local messages, result = E.with_messages(function()
    return snmpsetEx(E.HOST, sink, 0, "private", "system.4.0", ASN_COUNTER64, 1, 2, 30, 1)
  end)
  T.eq(result, 0, "Counter64 set to the sink: no answer")
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.4.0)"}}, "Counter64 set")
  local got = E.sink_take()
  T.eq(#got, 1, "Counter64 form: 1 retry means one transmission")
  T.eq(got[1].vars, "1.3.6.1.2.1.1.4.0|46|" .. tostring((1 << 32) + 2), "the Counter64 2^32 + 2")
  -- With only two numbers the second is a timeout and the first a 4-octet
  -- value, which cannot be a Counter64: nothing is sent.
  messages, result = E.with_messages(function()
    return snmpsetEx(E.HOST, sink, 0, "private", "system.4.0", ASN_COUNTER64, 1, 2)
  end)
  T.eq(result, 0, "Counter64 with two numbers: the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.4.0)"}}, "Counter64 with two numbers")
  T.eq(#E.sink_take(), 0, "Counter64 with two numbers: nothing sent")
  -- snmpset counts its arguments the same way.
  messages = E.with_messages(function()
    return snmpset(wk, "private", "system.4.0", ASN_COUNTER64, 0, 4294967295, 30, 1)
  end)
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.4.0)"}}, "snmpset Counter64 form")
  got = E.sink_take()
  T.eq(#got, 1, "snmpset Counter64 form: one transmission")
  T.eq(got[1].vars, "1.3.6.1.2.1.1.4.0|46|4294967295", "high 0, low 4294967295")
end

-- How values go out, as the sink decodes them: the name, the tag, the value.
for _, case in ipairs({
  {ASN_INTEGER, 2.9, "02|2"},
  {ASN_INTEGER, -2.9, "02|-2"},
  {ASN_INTEGER, -1, "02|-1"},
  {ASN_COUNTER, -1, "41|4294967295"},
  {ASN_GAUGE, 4294967296, "42|0"},
  {ASN_TIMETICKS, 4294967295, "43|4294967295"},
  {ASN_UINTEGER, 7, nil, "470107"},                           -- pysnmp does not know tag 0x47: raw octets
  {ASN_OBJECT_ID, "system.3", "06|1.3.6.1.2.1.1.3"},
  {ASN_OBJECT_ID, "1.3.x", nil},                             -- does not parse: refused (1129)
  {ASN_IPADDRESS, "256.1.1.1", nil},                         -- no address: refused (1129)
  {ASN_IPADDRESS, "10.0.0.1", "40|10.0.0.1"},
  {ASN_IPADDRESS, "10.1", "40|10.0.0.1"},                    -- as Winsock's inet_addr reads it
  {ASN_OCTET_STR, "", "04|"},
  {ASN_OCTET_STR, "abc", "04|616263"},
  {ASN_OCTET_STR, bin("\0\1\255"), "04|0001ff"},
  -- Four octets of text travel as the 32-bit number they hold in this machine's order.
  {ASN_INTEGER, "abcd", "02|" .. string.unpack("=i4", "abcd")},
  {ASN_OCTET_STR, 5, "04|" .. string.format("%02x%02x%02x%02x", string.unpack("BBBB", string.pack("=i4", 5)))},
  {ASN_INTEGER, "abc", nil},                                  -- three octets cannot be an INTEGER
  {ASN_IPADDRESS, 10, "40|" .. table.concat({string.unpack("BBBB", string.pack("=i4", 10))}, ".", 1, 4)},
}) do
  local asn, value, wire, raw = case[1], case[2], case[3], case[4]
  local label = string.format("set type %d value %s", asn, tostring(value))
  E.with_messages(function() return snmpsetEx(E.HOST, sink, 0, "private", "system.4.0", asn, value, 20, 1) end)
  local got = E.sink_take()
  if wire then
    T.eq(#got, 1, label .. ": sent once")
    T.eq(got[1].vars, "1.3.6.1.2.1.1.4.0|" .. wire, label)
  elseif raw then
    T.eq(#got, 1, label .. ": sent once")
    -- The name system.4.0 followed by the value's octets.
    T.truthy(got[1].hex and got[1].hex:find("06082b06010201010400" .. raw, 1, true),
      label .. ": octets " .. tostring(got[1].hex))
  else
    T.eq(#got, 0, label .. ": nothing sent")
  end
end

-- Type bytes outside 0..255: message 1129, empty result, nothing sent.
for _, case in ipairs({
  {"snmpset", 256, "256"}, {"snmpset", -1, "4294967295"}, {"snmpset", 255.5, "255"},
  {"snmpsetEx", 256, "256"}, {"snmpsetEx", -1, "-1"}, {"snmpsetEx", 255.5, "256"},
}) do
  local fn, type_byte, text = case[1], case[2], case[3]
  local messages, result = E.with_messages(function()
    if fn == "snmpset" then return snmpset(wk, "private", "system.4.0", type_byte, "x", 20, 1) end
    return snmpsetEx(E.HOST, sink, 0, "private", "system.4.0", type_byte, "x", 20, 1)
  end)
  T.eq(result, nil, fn .. " type " .. type_byte .. ": empty result")
  E.expect_messages(messages, {{1129, text}}, fn .. " type " .. type_byte)
  T.eq(#E.sink_take(), 0, fn .. " type " .. type_byte .. ": nothing sent")
  T.eq(snmpobjid(), "1.3.6.1.2.1.1.4.0", fn .. " type " .. type_byte .. ": the OID was taken over")
end
-- Type 255 passes the check, but the encoder knows no such tag: nothing is sent.
do
  local messages, result = E.with_messages(function()
    return snmpsetEx(E.HOST, sink, 0, "private", "system.4.0", 255, "x", 20, 1)
  end)
  T.eq(result, 0, "type 255: the number 0")
  E.expect_messages(messages, {{1127, "Couldn't get variable (system.4.0)"}}, "type 255")
  T.eq(#E.sink_take(), 0, "type 255: nothing sent")
end
print("ok")
