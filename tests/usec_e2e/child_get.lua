-- Run in a second runner by test_usec_discovery.lua: one snmpgetEx with the
-- default message printer, then a last line that shows the script went on.
-- Arguments: port community oid timeout retries
local port, community, oid = tonumber(arg[1]), arg[2], arg[3]
local timeout, retries = tonumber(arg[4]), tonumber(arg[5])
local result = snmpgetEx("127.0.0.1", port, 0, community, oid, timeout, retries)
print("result=" .. tostring(result))
print("objid=" .. snmpobjid())
print("end of script")
