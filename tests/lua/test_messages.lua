-- Host messages reach the script's handler; an invalid OID argument of a
-- request is reported with message 1129 and leaves the result empty.
local T = require("testlib")

local messages = T.capture_messages()
T.eq(snmpget("127.0.0.1", "public", "1.3.x"), nil, "invalid OID gives the empty result")
T.eq(#messages, 1, "one message")
T.eq(messages[1].id, 1129, "message id")
T.eq(messages[1].text, "1.3.x", "message text is the OID argument")
T.eq(messages[1].detail, nil, "no detail")
-- What was parsed before the parser stopped stays in the module-wide OID.
T.eq(snmpobjid(), "1.3", "snmpobjid after the invalid OID")

-- Wrong types: no message at all.
T.eq(snmpget("127.0.0.1", 5, "1.3"), nil, "numeric community")
T.eq(#messages, 1, "no message for a wrong type")

-- The module's engine identifier: hex text of 5 to 32 octets sets it for the
-- load; any other text is refused with 1129 and leaves it as it was.
local own = snmpengineidEx()
for _, text in ipairs({"80000000", "8000000005a", "80000000g5", string.rep("ab", 33)}) do
  local before = #messages
  T.eq(snmpengineidEx(text), nil, "refused identifier " .. text)
  T.eq(#messages, before + 1, "one message for " .. text)
  T.eq(messages[#messages].id, 1129, "message id for " .. text)
end
T.eq(snmpengineidEx(), own, "a refused identifier changes nothing")
T.eq(snmpengineidEx("80000000050A0b"), "80000000050a0b", "an identifier of either case is set")
T.eq(snmpengineidEx(), "80000000050a0b", "and kept for the load")

-- An error inside the handler comes back to the script once the call returns.
vantor.on_message(function() error("handler failed") end)
local ok, err = pcall(snmpget, "127.0.0.1", "public", "1..3")
T.eq(ok, false, "handler error is raised")
T.truthy(tostring(err):find("handler failed"), "handler error text")

-- Removing the handler restores the default printer (to stderr).
vantor.on_message(nil)
T.eq(snmpget("127.0.0.1", "public", "x"), nil, "default printer path")
print("ok")
