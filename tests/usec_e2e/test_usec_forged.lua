-- Forged replies: copies with a wrong digest, a stale time, lower boots or no
-- digest, sent before the genuine reply, must not be taken (the genuine value
-- comes back); sent alone they leave the request to time out, without moving
-- the module's estimate of the agent's clock.
local T = require("testlib")
local E = require("e2elib")
local U = require("useclib")

local AUTH = "/auth/" .. U.PHRASE

-- The boots and time a request carried (the module's estimate of the agent's clock).
local function clock(entry) return tonumber(entry.boots), tonumber(entry.time) end

U.main(function()
  -- Forged copies first, then the genuine reply.
  for _, case in ipairs({
    {"--forge-first digest", 2},
    {"--forge-first stale", 2},
    {"--forge-first boots", 2},
    {"--forge-first digest --forge-first stale --forge-first boots --forge-first plain", 5},
  }) do
    local options, sent = case[1], case[2]
    local agent = U.start_agent("--user auth:" .. U.PHRASE .. " --time-offset 100000 " .. options)
    local result, objid, messages = U.get(agent, AUTH, "system.5.0")
    T.eq(result, "test-agent", options .. ": the genuine value")
    T.eq(objid, "1.3.6.1.2.1.1.5.0", options .. ": snmpobjid")
    T.eq(#messages, 0, options .. ": no message")
    local log = U.take_log(agent, 2)
    T.eq(#log, 2, options .. ": one transmission was enough")
    U.expect_entry(log[2], {action = "answered", sent = tostring(sent)}, options)
    U.stop_agent(agent)
  end

  -- Forged replies alone: the request times out.
  for _, options in ipairs({"--forge-first stale", "--forge-first boots", "--forge-first plain",
                            "--forge-first digest --forge-first stale --forge-first boots"}) do
    local agent = U.start_agent("--user auth:" .. U.PHRASE .. " --time-offset 100000 --forge-only " .. options)
    U.expect_no_value(agent, AUTH, "system.5.0", options .. " alone")
    U.expect_entry(U.take_log(agent, 2)[2], {action = "answered"}, options .. " alone")
    U.stop_agent(agent)
  end

  -- The digest forgery claims boots + 1 and a time 100 s ahead; the
  -- retransmission shows that the module's estimate of the agent's clock
  -- did not follow it.
  do
    local agent = U.start_agent("--user auth:" .. U.PHRASE ..
      " --boots 4 --time-offset 100000 --forge-only --forge-first digest")
    local result, objid, messages = U.get(agent, AUTH, "system.5.0", U.FAIL_TIMEOUT, 2)
    T.eq(result, 0, "digest forgery alone: the number 0")
    T.eq(objid, "", "digest forgery alone: snmpobjid empty")
    E.expect_messages(messages, {{1127, "Couldn't get variable (system.5.0)"}}, "digest forgery alone")
    local log = U.take_log(agent, 3)
    T.eq(#log, 3, "digest forgery alone: discovery and two transmissions")
    local boots1, time1 = clock(log[2])
    local boots2, time2 = clock(log[3])
    T.eq(log[2].id, log[3].id, "digest forgery alone: a retransmission")
    T.eq(boots1, 4, "digest forgery alone: boots learned at discovery")
    T.eq(boots2, 4, "digest forgery alone: boots unchanged")
    T.truthy(time2 - time1 >= 0 and time2 - time1 <= 3,
      "digest forgery alone: the time estimate only went on with the clock: " .. time1 .. " then " .. time2)
    U.stop_agent(agent)
  end

  -- The first transmission gets the forged copy alone, the retransmission the
  -- genuine reply: the value comes back, and the clock estimate is the one
  -- learned at discovery.
  local agent = U.start_agent("--user auth:" .. U.PHRASE ..
    " --time-offset 100000 --forge-first digest --forge-only --misbehave-count 1")
  T.eq(U.get(agent, AUTH, "system.5.0", U.FAIL_TIMEOUT, 2), "test-agent", "genuine reply on the retransmission")
  local log = U.take_log(agent, 3)
  U.expect_entry(log[2], {action = "answered", sent = "1"}, "first transmission: the forged copy")
  U.expect_entry(log[3], {action = "answered", sent = "1", id = log[2].id}, "retransmission: the genuine reply")
  T.eq(log[3].boots, log[2].boots, "boots unchanged by the forged copy")
end)
