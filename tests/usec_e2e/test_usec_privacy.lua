-- The privacy part: the module announces it (qoS 0x06 or 0x07 on the wire)
-- but never encrypts, and refuses every reply that offers less than it asked
-- for or claims privacy: the request times out with 1127.
local T = require("testlib")
local U = require("useclib")

U.main(function()
  -- This agent reads the PDU in clear and answers without the privacy bit.
  local agent = U.start_agent("--user auth:" .. U.PHRASE .. " --user plain")
  for _, case in ipairs({
    {"/auth/" .. U.PHRASE .. "/secret", "0x07", "auth"},
    {"/auth/" .. U.PHRASE .. "/0x00112233445566778899aabbccddeeff", "0x07", "auth"},
    {"/plain//secret", "0x06", "plain"},
  }) do
    local community, qos, user = case[1], case[2], case[3]
    U.expect_no_value(agent, community, "system.5.0", community)
    local log = U.take_log(agent, 2)
    T.eq(#log, 2, community .. ": discovery and one transmission")
    T.eq(log[1].qos, "0x04", community .. ": discovery is reportable only")
    -- The agent answered; the module refused the answer.
    U.expect_entry(log[2], {community = user, qos = qos, action = "answered", sent = "1"}, community)
  end
  -- Without the privacy part the same agent is fine.
  T.eq(U.get(agent, "/auth/" .. U.PHRASE, "system.5.0"), "test-agent", "no privacy asked")

  -- An answer that claims privacy does not decode for the module, with or without a digest.
  local claims = U.start_agent("--user auth:" .. U.PHRASE .. " --user plain --privacy-bit")
  for _, community in ipairs({"/auth/" .. U.PHRASE, "/plain", "/auth/" .. U.PHRASE .. "/secret"}) do
    U.expect_no_value(claims, community, "system.5.0", "privacy bit in the answer, " .. community)
    U.expect_entry(U.take_log(claims, 2)[2], {action = "answered", sent = "1"}, community)
  end
end)
