// The user-based setting shared by the receive-path target and seed_tool.cpp:
// a manager session that has discovered its agent and holds a localised key,
// the agent's side of the same conversation (which encodes genuine replies,
// digest and all), and a fixed clock so that a message made once stays inside
// the time window whenever it is replayed.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/runtime.h"
#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usec/digest.h"
#include "snmp/security/usec/keys.h"
#include "snmp/security/usec/security_string.h"
#include "snmp/security/usec/usec_check.h"

namespace fixture {

constexpr int64_t ClockMilliseconds = 1700000000000;  // 2023-11-14
constexpr int32_t ClockSeconds = static_cast<int32_t>(ClockMilliseconds / 1000);
inline int64_t fixedClock() { return ClockMilliseconds; }

constexpr uint8_t AgentId[12] = {0x80, 0x00, 0x1F, 0x88, 0x80, 0x5A, 0x17, 0x0E, 0x01, 0x02, 0x03, 0x04};
constexpr uint32_t AgentBoots = 7;
constexpr int32_t AgentTime = 86400;  // the agent's clock as the manager last accepted it
constexpr char User[] = "fuzzuser";
constexpr char Phrase[] = "maplesyrup";
constexpr char Context[] = "ctx";

// Installs the fixed clock; answers the key localised from Phrase, computed
// once (1 MiB of MD5).
inline const uint8_t* setUp()
{
    static uint8_t key[16];
    static const bool ready = [] {
        setClockSource(fixedClock);
        passwordToKey(reinterpret_cast<const uint8_t*>(Phrase), static_cast<int32_t>(std::strlen(Phrase)),
                      AgentId, key);
        return true;
    }();
    (void)ready;
    return key;
}

// The fields both sides share: version 2, agent, user, context, key.
inline SnmpSession common(const uint8_t* key)
{
    SnmpSession session;
    std::memset(&session, 0, sizeof session);
    session.version = SnmpVersionUsec;
    std::memcpy(session.agentId, AgentId, sizeof AgentId);
    session.agentBoots = AgentBoots;
    session.agentTime = AgentTime;
    session.timeOffset = AgentTime - ClockSeconds;
    session.userNameLength = static_cast<int32_t>(std::strlen(User));
    std::memcpy(session.userName, User, static_cast<size_t>(session.userNameLength));
    session.maxMessageSize = 1450;
    session.contextLength = static_cast<int32_t>(std::strlen(Context));
    std::memcpy(session.context, Context, static_cast<size_t>(session.contextLength));
    std::memcpy(session.authKey, key, 16);
    return session;
}

// The manager's session as the opener leaves it after discovery and the
// parse of "/fuzzuser/maplesyrup//ctx": authenticating and reportable, with
// the hook installed.
inline SnmpSession manager(const uint8_t* key)
{
    SnmpSession session = common(key);
    session.securityFlags = SecurityAuth | SecurityReportable;
    session.authHook = usecAuthenticate;
    return session;
}

// The agent's side: it encodes replies with its boots and clock, which
// buildUsecParameters writes as local clock + timeOffset.
inline SnmpSession agent(const uint8_t* key, uint8_t flags, uint32_t boots, int32_t time)
{
    SnmpSession session = common(key);
    session.securityFlags = flags;
    session.agentBoots = boots;
    session.agentTime = time;
    // Any received time, so wrapping as the engine's clock arithmetic wraps.
    session.timeOffset = static_cast<int32_t>(static_cast<uint32_t>(time) - static_cast<uint32_t>(ClockSeconds));
    return session;
}

}  // namespace fixture
