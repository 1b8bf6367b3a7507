// The SNMPv3 setting shared by the SNMPv3 receive target and seed_tool.cpp:
// manager sessions that have discovered their engine and hold localised
// keys (SHA-256 with AES, MD5 with DES), and a fixed clock, so that a reply
// made once stays inside the time window whenever it is replayed.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/runtime.h"
#include "snmp/security/usm/usm_session.h"

namespace usmfixture {

constexpr int64_t ClockMilliseconds = 1700000000000;  // 2023-11-14
inline int64_t fixedClock() { return ClockMilliseconds; }

constexpr uint8_t EngineId[] = {0x80, 0x00, 0x1F, 0x88, 0x04, 'f', 'u', 'z', 'z', '-', 'u', 's', 'm'};
constexpr int32_t Boots = 7;
constexpr int32_t Time = 86400;  // the engine's clock as the manager last accepted it
constexpr char Context[] = "ctx";

// The communities of the sessions, and the agent's view of the same users
// (tools/agent/usm.h's form).
constexpr const char* Communities[] = {"#fuzzuser/SHA-256:maplesyrup/AES:maplesyrup/ctx",
                                       "#fuzzdes/MD5:maplesyrup/DES:maplesyrup"};
constexpr const char* AgentUsers[] = {"fuzzuser:SHA-256:maplesyrup:AES:maplesyrup", "fuzzdes:MD5:maplesyrup:DES:maplesyrup"};
constexpr int SessionCount = 2;

// Installs the fixed clock and opens session `index` as openUsmSession leaves
// it once discovery answered (engine, boots and time known, keys made). The
// session's community points at the static text.
inline SnmpSession manager(int index)
{
    setClockSource(fixedClock);
    SnmpSession session;
    std::memset(&session, 0, sizeof session);
    session.community = reinterpret_cast<const uint8_t*>(Communities[index]);
    session.communityLength = static_cast<int32_t>(std::strlen(Communities[index]));
    if (attachUsmSession(&session) == 0) {
        setUsmEngine(session.usm, EngineId, sizeof EngineId, Boots, Time);
        session.usm->clockConfirmed = true;  // a known engine: the window applies
        keyUsmSession(session.usm);
    }
    return session;
}

}  // namespace usmfixture
