// Shared pieces of the session-layer tests: a loopback peer that plays the
// agent, an injected clock and random source, and a recording callback.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/runtime.h"
#include "platform/winsock.h"
#include "snmp/codec/message.h"
#include "snmp/codec/pdu.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usec/known_agents.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/session.h"
#include "snmp/transport/sync_request.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/socket_state.h"
#include "tests/support/wire.h"

// A decoded datagram that frees itself.
struct DecodedPdu {
    SnmpPdu* pdu = nullptr;
    int32_t result = -1;
    explicit DecodedPdu(std::vector<uint8_t> data) : pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))))
    {
        result = decodeMessage(nullptr, pdu, data.data(), static_cast<int32_t>(data.size()));
    }
    ~DecodedPdu() { freePdu(pdu); }
    DecodedPdu(const DecodedPdu&) = delete;
    DecodedPdu& operator=(const DecodedPdu&) = delete;
    SnmpPdu* operator->() const { return pdu; }
};

// The community and version of a received datagram.
inline std::string communityOf(const std::vector<uint8_t>& data, int32_t* version)
{
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = SnmpCommunityCapacity;
    int32_t remaining = static_cast<int32_t>(data.size());
    if (decodeMessageHeader(data.data(), &remaining, community, &communityLength, version) == nullptr)
        return "<undecodable>";
    return std::string(reinterpret_cast<char*>(community), static_cast<size_t>(communityLength));
}

// A reply to a request: same id, the given command, bindings copied or none.
inline std::vector<uint8_t> encodeReply(int32_t version, const char* community, int32_t command, int32_t requestId,
                                        const uint32_t* name = nullptr, int32_t nameLength = 0,
                                        int32_t errorStatus = 0)
{
    SnmpSession session{};
    session.version = version;
    session.community = reinterpret_cast<const uint8_t*>(community);
    session.communityLength = static_cast<int32_t>(std::strlen(community));
    SnmpPdu* pdu = createPdu(command);
    pdu->requestId = requestId;
    pdu->errorStatus = errorStatus;
    pdu->errorIndex = 0;
    const int32_t value = 42;
    if (name != nullptr)
        addVar(pdu, name, nameLength, ASN_INTEGER, &value, 4);
    return encodeAndFree(session, pdu);
}

// What a session callback saw.
struct CallbackRecord {
    int32_t operation;
    int32_t requestId;
    int32_t command;
};

struct Recorder {
    std::vector<CallbackRecord> calls;
    int32_t answer = 1;
    static int32_t callback(int32_t operation, SnmpSession*, int32_t requestId, SnmpPdu* pdu, void* arg)
    {
        Recorder* self = static_cast<Recorder*>(arg);
        self->calls.push_back({operation, requestId, pdu != nullptr ? pdu->command : -1});
        return self->answer;
    }
};

// The clock, the random source and the engine state under the tests' control.
class EngineTest : public ::testing::Test {
protected:
    static int64_t& fakeNow()
    {
        static int64_t now = 0;
        return now;
    }
    static int& fakeRandom()
    {
        static int value = 0;
        return value;
    }
    static int64_t readFakeClock() { return fakeNow(); }
    static int readFakeRandom() { return fakeRandom(); }

    void useFakeClock(int64_t startMs)
    {
        fakeNow() = startMs;
        setClockSource(&EngineTest::readFakeClock);
    }
    void useFakeRandom(int value)
    {
        fakeRandom() = value;
        setRandomSource(&EngineTest::readFakeRandom);
    }

    void SetUp() override
    {
        libraryState().lastRequestId = 0;
        libraryState().requestIdsStarted = true;  // ids from 1, as the tests count them
        releaseKeptSockets();  // every test starts with sockets of its own
        forgetKnownAgents();   // and discovers its agents
        libraryState().lastError = 0;
    }

    void TearDown() override
    {
        setClockSource(nullptr);
        setRandomSource(nullptr);
        setEntropySource(nullptr);
        while (libraryState().sessions != nullptr)
            closeSession(libraryState().sessions->session);
        releaseKeptSockets();
        forgetKnownAgents();
    }

public:
    // Settings for a session to the peer with the given community.
    static SnmpSession settingsFor(const LoopbackPeer& peer, const char* community, Recorder* recorder = nullptr)
    {
        SnmpSession settings{};
        settings.peerName = "127.0.0.1";
        settings.remotePort = peer.port();
        settings.community = reinterpret_cast<const uint8_t*>(community);
        settings.communityLength = static_cast<int32_t>(std::strlen(community));
        settings.retries = 3;
        settings.timeout = 500000;
        if (recorder != nullptr) {
            settings.callback = &Recorder::callback;
            settings.callbackArg = recorder;
        }
        return settings;
    }

    static SnmpPdu* getRequest(uint32_t last = 0)
    {
        SnmpPdu* pdu = createPdu(PduGetRequest);
        const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 3, last};
        addNullVar(pdu, name, 9);
        return pdu;
    }
};
