-- peers: sink-answer
-- Values Net-SNMP's agent never sends, from a responder that builds its
-- responses octet by octet (udp_sink.py, CRAFTED): numeric bindings without a
-- four-octet value end like a missing variable, an IpAddress of fewer than four
-- octets ends with "Couldn't get ip address"; neither reads past the value.
-- Integers with redundant leading octets read as their value; values beyond
-- their type, or empty, and constructed values are no value.
local T = require("testlib")
local E = require("e2elib")

local port = E.port("SINK_ANSWER_PORT")
local base = "1.3.6.1.4.1.4242.5."

local cases = {
  -- last sub-identifier, expected result, expected message (nil: none)
  {1, 0, "Couldn't get variable (" .. base .. "1)"},   -- BOOLEAN: no value the module can read
  {2, 0, "Couldn't get variable (" .. base .. "2)"},   -- empty SEQUENCE
  {3, 0, "Couldn't get variable (" .. base .. "3)"},   -- SEQUENCE with content
  {4, 0, "Couldn't get ip address"},                  -- IpAddress of 2 octets
  {5, 0, "Couldn't get ip address"},                  -- IpAddress of no octets
  {6, "192.168.1.10", nil},
  {7, -5, nil},
  {8, 3000000000, nil},
  {9, 4294967295, nil},
  {10, "1,5", nil},
  {11, "0,7", nil},
  {12, "1.2.3.4", nil},                               -- the first four of five octets
  {13, "00.1A.FF", nil},
  {14, "", nil},                                      -- noSuchObject
  -- Integers are read by value, whatever their redundant leading octets; a
  -- value beyond its type, or none at all, is no value.
  {15, -2147483648, nil},
  {16, 0, "Couldn't get variable (" .. base .. "16)"},
  {17, 0, "Couldn't get variable (" .. base .. "17)"},
  -- A type the module does not decode: its octets, unless it is constructed.
  {18, "00.AA", nil},
  {19, 0, "Couldn't get variable (" .. base .. "19)"},
}
for _, case in ipairs(cases) do
  local oid = base .. case[1]
  local messages, value = E.with_messages(function()
    return snmpgetEx(E.HOST, port, 0, "public", oid, 500, 1)
  end)
  T.eq(value, case[2], oid .. ": result")
  if case[3] then
    E.expect_messages(messages, {{1127, case[3]}}, oid)
    T.eq(snmpobjid(), "", oid .. ": snmpobjid empty after the failure")
  else
    T.eq(#messages, 0, oid .. ": no message")
    T.eq(snmpobjid(), oid, oid .. ": snmpobjid is the binding's name")
  end
  T.eq(snmpGetLastError(), 0, oid .. ": the response's error status")
end
-- Each request was answered once: one request each reached the responder.
local requests = 0
for _, record in ipairs(E.sink_records()) do
  if record.local_port == port then requests = requests + 1 end
end
T.eq(requests, #cases, "one request per get")
print("ok")
