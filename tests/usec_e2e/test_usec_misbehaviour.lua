-- The agent's user-based misbehaviour as the module sees it, alone and
-- combined with the agent's other misbehaviour: wrong digest, stale time,
-- lower and higher boots; dropped first requests, delays, a limited count.
local T = require("testlib")
local U = require("useclib")

local AUTH = "/auth/" .. U.PHRASE

U.main(function()
  local function agent_with(options)
    return U.start_agent("--user auth:" .. U.PHRASE .. " --user plain --boots 2 --time-offset 100000 " .. options)
  end

  -- Answers the module must refuse: the request times out.
  for _, options in ipairs({"--wrong-digest", "--stale-time 300", "--lower-boots",
                            "--higher-boots --wrong-digest"}) do
    local agent = agent_with(options)
    U.expect_no_value(agent, AUTH, "system.5.0", options)
    U.expect_entry(U.take_log(agent, 2)[2], {action = "answered", sent = "1"}, options)
    U.stop_agent(agent)
  end

  -- Answers the module accepts: higher boots (a reboot it did not see), a
  -- time behind by less than the window, and anything without a digest.
  for _, case in ipairs({
    {"--higher-boots", AUTH},
    {"--stale-time 100", AUTH},
    {"--wrong-digest --stale-time 300 --lower-boots", "/plain"},
  }) do
    local options, community = case[1], case[2]
    local agent = agent_with(options)
    local result, _, messages = U.get(agent, community, "system.5.0")
    T.eq(result, "test-agent", options .. ", " .. community .. ": value")
    T.eq(#messages, 0, options .. ", " .. community .. ": no message")
    U.stop_agent(agent)
  end

  -- With the agent's other misbehaviour: the first request dropped, the
  -- retransmission answered (discovery is not counted).
  local dropped = agent_with("--drop-first 1")
  T.eq(U.get(dropped, AUTH, "system.5.0", U.FAIL_TIMEOUT, 2), "test-agent", "--drop-first 1: value")
  local log = U.take_log(dropped, 3)
  U.expect_entry(log[1], {action = "discovery"}, "--drop-first 1: discovery answered")
  U.expect_entry(log[2], {action = "dropped", sent = "0"}, "--drop-first 1: first request")
  U.expect_entry(log[3], {action = "answered", sent = "1"}, "--drop-first 1: retransmission")

  -- A wrong digest on the first answer only: the retransmission's answer is good.
  local once = agent_with("--wrong-digest --misbehave-count 1")
  T.eq(U.get(once, AUTH, "system.5.0", U.FAIL_TIMEOUT, 2), "test-agent", "--misbehave-count 1: value")
  T.eq(#U.take_log(once, 3), 3, "--misbehave-count 1: two transmissions")

  -- Forged copy and genuine reply both delayed, then a mangled copy and a duplicate.
  local delayed = agent_with("--delay 50 --forge-first digest --mangle-first truncate --duplicate")
  T.eq(U.get(delayed, AUTH, "system.5.0"), "test-agent", "delayed with forged, mangled and duplicate copies")
  U.expect_entry(U.take_log(delayed, 2)[2], {action = "answered", sent = "4"}, "four datagrams")

  -- A reply with another request id first, then a forged one, then the genuine one.
  local wrongId = agent_with("--wrong-id-first --forge-first plain")
  T.eq(U.get(wrongId, AUTH, "system.5.0"), "test-agent", "wrong id, forged, genuine")
end)
