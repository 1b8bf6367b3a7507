-- Writes one variable and reads it back.
--
--   vantor-lua examples/set.lua [HOST[:PORT]] [COMMUNITY] [OID] [VALUE] [TYPE]
--
-- Defaults: 127.0.0.1, port 161, the read-write community "private",
-- sysContact (system.4.0) and a text with the time. TYPE is one letter, as
-- Net-SNMP's snmpset takes it:
--   s text (OCTET STRING)      x hex octets, e.g. 00:1a:ff (through a binary variable)
--   i INTEGER                  u Unsigned32    c Counter32    g Gauge32
--   t TimeTicks                a IpAddress     o OBJECT IDENTIFIER
--   C Counter64 as "high,low"
local target = arg[1] or "127.0.0.1"
local community = arg[2] or "private"
local oid = arg[3] or "system.4.0"
local text = arg[4] or ("set by examples/set.lua at " .. os.date("%Y-%m-%d %H:%M:%S"))
local kind = arg[5] or "s"
local host, port = target:match("^(.-):(%d+)$")
host, port = host or target, tonumber(port) or 161

local notices = {}
vantor.on_message(function(id, text) notices[#notices + 1] = string.format("message %d: %s", id, text) end)

local TIMEOUT, RETRIES = 1000, 2

local function show(value)
  if type(value) == "string" then return string.format("%q", value) end
  return tostring(value)
end

-- snmpsetEx with the value in the form the type needs.
local function set(type_letter, value_text)
  local types = {s = ASN_OCTET_STR, x = ASN_OCTET_STR, i = ASN_INTEGER, u = ASN_UINTEGER,
                 c = ASN_COUNTER, g = ASN_GAUGE, t = ASN_TIMETICKS, a = ASN_IPADDRESS,
                 o = ASN_OBJECT_ID, C = ASN_COUNTER64}
  local asn = types[type_letter]
  if not asn then error("unknown type letter " .. type_letter) end
  if type_letter == "x" then
    local bytes = value_text:gsub("[^%x]", ""):gsub("%x%x", function(h) return string.char(tonumber(h, 16)) end)
    return snmpsetEx(host, port, 0, community, oid, asn, bin(bytes), TIMEOUT, RETRIES)
  elseif type_letter == "C" then
    -- Four numbers select the Counter64 form: high word, low word, timeout, retries.
    local high, low = value_text:match("^(%d+),(%d+)$")
    if not high then error("Counter64 wants high,low") end
    return snmpsetEx(host, port, 0, community, oid, asn, tonumber(high), tonumber(low), TIMEOUT, RETRIES)
  elseif asn == ASN_OCTET_STR or asn == ASN_IPADDRESS or asn == ASN_OBJECT_ID then
    return snmpsetEx(host, port, 0, community, oid, asn, value_text, TIMEOUT, RETRIES)
  else
    local number = tonumber(value_text)
    if not number then error(value_text .. " is not a number") end
    return snmpsetEx(host, port, 0, community, oid, asn, number, TIMEOUT, RETRIES)
  end
end

local function report(label, value)
  if value == nil or snmpobjid() == "" then
    print(string.format("%-8s failed: %s (last error status %d)", label,
      notices[#notices] or "no result", snmpGetLastError()))
    return false
  end
  print(string.format("%-8s %s = %s", label, snmpobjid(), show(value)))
  return true
end

print(string.format("agent %s:%d, community %q", host, port, community))
-- Reading needs no write access; the same community serves both here.
report("before", snmpgetEx(host, port, 0, community, oid, TIMEOUT, RETRIES))
if report("set", set(kind, text)) then
  report("after", snmpgetEx(host, port, 0, community, oid, TIMEOUT, RETRIES))
end
