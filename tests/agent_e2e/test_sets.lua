-- snmpsetEx (and snmpset, given an agent on port 161 of a loopback address)
-- against the test agent, whose request log shows the value each set carried
-- and whose table keeps it for a get: the Counter64 form (four numbers after
-- the type) and the ordinary form with only two; binary
-- variables (bin()) with zero octets, sent exactly; IpAddress and OID values
-- set and read back; and sets the agent refuses, with their error status.
local T = require("testlib")
local E = require("e2elib")
local A = require("agentlib")

local C64 = "1.3.6.1.4.1.99999.1.11.0"
local STRING = "1.3.6.1.4.1.99999.1.2.0"
local OPAQUE = "1.3.6.1.4.1.99999.1.10.0"
local IP = "1.3.6.1.4.1.99999.1.6.0"
local OID = "1.3.6.1.4.1.99999.1.5.0"

-- The one set the agent received since the last look, and its one binding
-- (the look goes on to the read-back get that followed it).
local function logged_set(agent, label)
  local log = agent:take()
  T.eq(#log, 2, label .. ": the set and the get")
  T.eq(log[2].command, "get", label .. ": the get that read it back")
  T.eq(log[1].command, "set", label .. ": a set request")
  T.eq(log[1].action, "answered", label .. ": answered")
  T.eq(#log[1].bindings, 1, label .. ": one binding")
  return log[1], log[1].bindings[1]
end

A.run(function()
  local agent = A.start("")

  -- Counter64 form: high word, low word, timeout, retries. Each number keeps
  -- its low 32 bits.
  for _, case in ipairs({
    {7, 9, "7,9"},
    {0, 4294967295, "0,4294967295"},
    {4294967295, 4294967295, "4294967295,4294967295"},
    {0, 0, "0,0"},
    {4294967296 + 3, -1, "3,4294967295"},
    {2.9, 5.5, "2,5"},
  }) do
    local high, low, text = case[1], case[2], case[3]
    local label = "counter64 " .. text
    A.expect_value(label .. ": the echo", C64, text,
      function() return snmpsetEx(A.HOST, agent.port, 0, "+public", C64, ASN_COUNTER64, high, low, 2000, 1) end)
    A.expect_value(label .. ": read back", C64, text,
      function() return snmpgetEx(A.HOST, agent.port, 0, "+public", C64) end)
    local entry, binding = logged_set(agent, label)
    T.eq(entry.version, 1, label .. ": SNMPv2c")
    T.eq(binding.name, C64, label .. ": the name")
    T.eq(binding.type, "counter64", label .. ": sent as Counter64")
    local h, l = text:match("^(%d+),(%d+)$")
    T.eq(binding.value, A.unsigned64((tonumber(h) << 32) | tonumber(l)), label .. ": the value the agent received")
  end

  -- Only two numbers: the first is a four-octet value, the second the
  -- timeout; a Counter64 of four octets cannot be encoded, so nothing goes out.
  A.expect_failure("counter64 with two numbers", C64, nil,
    function() return snmpsetEx(A.HOST, agent.port, 0, "+public", C64, ASN_COUNTER64, 1, 2) end)
  T.eq(A.stderr_take(), "Error building packet\n", "counter64 with two numbers: the encoder's word")
  T.eq(#agent:take(), 0, "counter64 with two numbers: nothing sent")
  T.eq(snmpgetEx(A.HOST, agent.port, 0, "+public", C64), "2,5", "counter64 with two numbers: the value stayed")
  -- SNMPv1 has no Counter64: the agent refuses the value (badValue).
  A.expect_failure("counter64 in SNMPv1", C64, SNMP_ERR_BADVALUE,
    function() return snmpsetEx(A.HOST, agent.port, 0, "public", C64, ASN_COUNTER64, 1, 2, 2000, 1) end)

  -- snmpset, which always sends to port 161, has the same two forms, with
  -- the arguments one place earlier.
  local well_known = A.start_well_known("")
  if well_known then
    A.expect_value("snmpset counter64 form", C64, "5,6",
      function() return snmpset(well_known.host, "+public", C64, ASN_COUNTER64, 5, 6, 2000, 1) end)
    A.expect_value("snmpset counter64 form: read back", C64, "5,6",
      function() return snmpget(well_known.host, "+public", C64) end)
    A.expect_failure("snmpset counter64 with two numbers", C64, nil,
      function() return snmpset(well_known.host, "+public", C64, ASN_COUNTER64, 1, 2) end)
    T.eq(A.stderr_take(), "Error building packet\n", "snmpset counter64 with two numbers: the encoder's word")
    local log = well_known:take()
    T.eq(#log, 2, "snmpset: the set and the get, nothing for the refused form")
    T.eq(log[1].bindings[1].value, A.unsigned64((5 << 32) | 6), "snmpset counter64 form: the value received")
    A.expect_value("snmpset of a binary variable", STRING, "00.FF.00",
      function() return snmpset(well_known.host, "public", STRING, ASN_OCTET_STR, bin("\0\255\0")) end)
    T.eq(A.unquote(well_known:take()[1].bindings[1].value), "\0\255\0", "snmpset of a binary variable: received")
    well_known:stop()
  else
    print("note: no loopback address with a free port 161; snmpset left out")
  end

  -- The Counter64 form's last two numbers are the timeout and the retries:
  -- with retries 1 a dropped request is lost, with retries 2 it is sent again.
  do
    local dropping = A.start("--drop-first 2")
    A.expect_failure("counter64 form, 1 retry", C64, nil, function()
      return snmpsetEx(A.HOST, dropping.port, 0, "+public", C64, ASN_COUNTER64, 1, 1, 30, 1)
    end)
    A.expect_value("counter64 form, 2 retries", C64, "1,2", function()
      return snmpsetEx(A.HOST, dropping.port, 0, "+public", C64, ASN_COUNTER64, 1, 2, 30, 2)
    end)
    local log = dropping:take()
    T.eq(#log, 3, "counter64 form: 1 + 2 transmissions")
    T.eq(log[1].action, "dropped", "counter64 form: first set dropped")
    T.eq(log[2].action, "dropped", "counter64 form: second set dropped once")
    T.eq(log[3].action, "answered", "counter64 form: then answered")
    T.eq(log[3].id, log[2].id, "counter64 form: the retransmission keeps its id")
    dropping:stop()
  end
  agent:take()

  -- Binary variables: every octet arrives as it is, zero octets included.
  local all = {}
  for i = 0, 255 do all[#all + 1] = string.char(i) end
  all = table.concat(all)
  for _, case in ipairs({
    {"\0", "a zero octet"},
    {"\0\1\2\0", "zeros around"},
    {"a\0b", "a zero inside text"},
    {"\255\254\128\127", "high octets"},
    {"plain text", "printable octets"},
    {"", "no octets"},
    {all, "every octet value"},
    {all:rep(12), "3072 octets"},
  }) do
    local octets, what = case[1], case[2]
    for _, version in ipairs({"1", "2c"}) do
      local community = version == "2c" and "+public" or "public"
      for _, target in ipairs({{STRING, ASN_OCTET_STR, "string"}, {OPAQUE, ASN_OPAQUE, "opaque"}}) do
        local oid, asn, kind = target[1], target[2], target[3]
        local label = string.format("bin v%s %s: %s", version, kind, what)
        A.expect_value(label .. ": the echo", oid, E.byte_block_text(octets),
          function() return snmpsetEx(A.HOST, agent.port, 0, community, oid, asn, bin(octets)) end)
        A.expect_value(label .. ": read back", oid, E.byte_block_text(octets),
          function() return snmpgetEx(A.HOST, agent.port, 0, community, oid) end)
        local _, binding = logged_set(agent, label)
        T.eq(binding.type, kind, label .. ": type")
        local received = kind == "string" and A.unquote(binding.value) or A.hex_bytes(binding.value)
        T.eq(received, octets, label .. ": the octets the agent received")
      end
    end
  end

  -- IpAddress values: a dotted text as four octets; a number as the four
  -- octets of its 32-bit value in this machine's order.
  local little_endian = string.pack("=I4", 1):byte(1) == 1
  for _, case in ipairs({
    {"10.1.2.3", "10.1.2.3"},
    {"0.0.0.0", "0.0.0.0"},
    {"255.255.255.255", "255.255.255.255"},
    {"192.0.2.254", "192.0.2.254"},
    {10, little_endian and "10.0.0.0" or "0.0.0.10"},
  }) do
    local value, text = case[1], case[2]
    for _, community in ipairs({"public", "+public"}) do
      local label = string.format("ipaddress %s (%s)", tostring(value), community)
      A.expect_value(label .. ": the echo", IP, text,
        function() return snmpsetEx(A.HOST, agent.port, 0, community, IP, ASN_IPADDRESS, value) end)
      A.expect_value(label .. ": read back", IP, text,
        function() return snmpgetEx(A.HOST, agent.port, 0, community, IP) end)
      local _, binding = logged_set(agent, label)
      T.eq(binding.type, "ipaddress", label .. ": type")
      T.eq(binding.value, text, label .. ": the address the agent received")
    end
  end

  -- OID values: a text parsed as an OID, prefixes expanded; the most a value
  -- may have: 128 sub-identifiers, here of the largest value (631 octets).
  local long = {"1", "3"}
  for i = 3, 128 do long[i] = "4294967295" end
  long = table.concat(long, ".")
  for _, case in ipairs({
    {"system.3", "1.3.6.1.2.1.1.3"},
    {"enterprises.4242.1.2", "1.3.6.1.4.1.4242.1.2"},
    {"1.3.6.1.4.1.99999.42.7", "1.3.6.1.4.1.99999.42.7"},
    {"2.999.4294967295", "2.999.4294967295"},
    {"1.3.6.1.4.1.4294967295", "1.3.6.1.4.1.4294967295"},
    {long, long},
  }) do
    local value, text = case[1], case[2]
    for _, community in ipairs({"public", "+public"}) do
      local label = string.format("oid %s (%s)", value:sub(1, 30), community)
      A.expect_value(label .. ": the echo", OID, text,
        function() return snmpsetEx(A.HOST, agent.port, 0, community, OID, ASN_OBJECT_ID, value) end)
      A.expect_value(label .. ": read back", OID, text,
        function() return snmpgetEx(A.HOST, agent.port, 0, community, OID) end)
      local _, binding = logged_set(agent, label)
      T.eq(binding.type, "oid", label .. ": type")
      T.eq(binding.value, text, label .. ": the OID the agent received")
    end
  end
  agent:stop()

  -- Sets the agent refuses: the status, message 1127 with the OID as
  -- written, the number 0, an empty snmpobjid; and the value stays.
  local strict = A.start("--readonly")
  for _, case in ipairs({
    {"public", SNMP_ERR_READONLY, "read-only agent, SNMPv1"},
    {"+public", SNMP_ERR_NOTWRITABLE, "read-only agent, SNMPv2c"},
  }) do
    A.expect_failure(case[3], "enterprises.99999.1.2.0", case[2], function()
      return snmpsetEx(A.HOST, strict.port, 0, case[1], "enterprises.99999.1.2.0", ASN_OCTET_STR, "changed")
    end)
  end
  local plain = A.start("")
  for _, case in ipairs({
    {"public", "enterprises.99999.9.0", ASN_OCTET_STR, "x", SNMP_ERR_NOSUCHNAME, "missing name, SNMPv1"},
    {"+public", "enterprises.99999.9.0", ASN_OCTET_STR, "x", SNMP_ERR_NOCREATION, "missing name, SNMPv2c"},
    {"public", IP, ASN_IPADDRESS, bin("\1\2\3"), SNMP_ERR_BADVALUE, "three-octet address, SNMPv1"},
    {"+public", IP, ASN_IPADDRESS, bin("\1\2\3\4\5"), SNMP_ERR_WRONGLENGTH, "five-octet address, SNMPv2c"},
  }) do
    local community, oid, asn, value, status, label = table.unpack(case)
    A.expect_failure(label, oid, status,
      function() return snmpsetEx(A.HOST, plain.port, 0, community, oid, asn, value) end)
  end
  T.eq(snmpgetEx(A.HOST, strict.port, 0, "public", STRING), snmpgetEx(A.HOST, plain.port, 0, "public", STRING),
    "refused sets left the value as it was")

  T.eq(A.stderr_take(), "", "no diagnostics from the engine")
end)
print("ok")
