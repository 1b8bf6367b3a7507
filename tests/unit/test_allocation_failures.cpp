// Every allocation the engine makes can fail: a get, a set, a walk step, a
// user-based open and an SNMPv3 open are run again and again, the first time with the engine's
// first allocation failing, then its second, and so on until one run makes
// no more allocations than are allowed to succeed. Each run must end with a
// documented outcome; LeakSanitizer (./run test) sees that nothing leaks.
// Only allocations on the test's own thread fail: the agent, on its own
// thread, decodes and encodes with the same engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "snmp/base/allocation.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/usec/known_agents.h"
#include "snmp/security/usm/known_engines.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"
#include "tools/agent/test_agent.h"
#include "tools/agent/usec.h"
#include "tools/agent/usm.h"

namespace {

std::thread::id failingThread;
long allocations = 0;
long failAt = 0;  // 0: none fails

void* countingAllocator(size_t count, size_t size)
{
    if (std::this_thread::get_id() == failingThread && ++allocations == failAt)
        return nullptr;
    return std::calloc(count > 0 ? count : 1, size > 0 ? size : 1);
}

// The engine's words about its failures are expected here; they are not shown.
void quietSink(DiagnosticStream, const char*, size_t) {}

class AllocationFailureTest : public EngineTest {
protected:
    ScopedFakeHost host;
    std::unique_ptr<testagent::UsecAgent> usec;
    std::unique_ptr<testagent::UsmAgent> usm;
    std::unique_ptr<testagent::TestAgent> agent;

    void SetUp() override
    {
        EngineTest::SetUp();
        testagent::UsecConfig config;
        testagent::UsecUser joe;
        testagent::parseUsecUser("joe:maplesyrup", config.engineId, &joe, nullptr);
        config.users = {joe};
        usec = std::make_unique<testagent::UsecAgent>(config);
        testagent::UsmConfig v3;
        testagent::UsmUser ann;
        testagent::parseUsmUser("ann:SHA-256:annpass123:AES:annpriv123", v3.engineId, &ann, nullptr);
        v3.users = {ann};
        usm = std::make_unique<testagent::UsmAgent>(v3);
        testagent::AgentConfig agentConfig;
        agentConfig.memoryLog = false;
        // SNMPv3 to the one, the user-based mode to the other.
        agentConfig.hook = [this](testagent::ReceivedRequest& request) {
            const testagent::HookOutcome outcome = usm->judge(request);
            return outcome.action == testagent::HookAction::Default ? usec->judge(request) : outcome;
        };
        agent = std::make_unique<testagent::TestAgent>(agentConfig);
        std::string error;
        ASSERT_TRUE(agent->start(&error)) << error;
        failingThread = std::this_thread::get_id();
        setEngineAllocator(&countingAllocator);
        setDiagnosticSink(&quietSink);
    }

    void TearDown() override
    {
        setEngineAllocator(nullptr);
        setDiagnosticSink(nullptr);
        agent->stop();
        EngineTest::TearDown();
    }

    HostValue call(ScriptId id, std::vector<HostValue> args)
    {
        std::vector<HostValue> list = argList(std::move(args));
        return ScriptDispatcher(list.data(), id);
    }

    // Runs the call with each allocation failing in turn; every outcome must
    // be the value `whole` (what the call gives when nothing fails) or a
    // documented failure: the number 0 with message 1127, or the empty
    // result with message 1128.
    void failEachAllocation(const std::string& label, const std::function<HostValue()>& run)
    {
        failAt = 0;
        allocations = 0;
        host.delivered.clear();
        const HostValue whole = run();
        ASSERT_TRUE(host.delivered.empty()) << label << ": fails with every allocation granted";
        const long needed = allocations;
        ASSERT_GT(needed, 0) << label;
        for (failAt = 1; failAt <= needed; ++failAt) {
            SCOPED_TRACE(label + ": allocation " + std::to_string(failAt) + " of " + std::to_string(needed));
            allocations = 0;
            host.delivered.clear();
            const HostValue result = run();
            if (host.delivered.empty()) {
                EXPECT_EQ(result.type, whole.type);
                EXPECT_EQ(textOf(result), textOf(whole));
                continue;
            }
            ASSERT_EQ(host.delivered.size(), 1u);
            const Delivered& message = host.delivered[0];
            if (message.message == HostMsgNotice) {
                EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber));
                EXPECT_EQ(double(result.number), 0.0);
            } else {
                EXPECT_EQ(message.message, static_cast<UINT>(HostMsgError));
                EXPECT_EQ(message.text, "Couldn't open snmp");
                EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeEmpty));
            }
        }
        failAt = 0;
    }

    HostValue get(const char* community)
    {
        return call(ScriptIdGetEx, {stringArg("127.0.0.1"), numberArg(agent->port()), numberArg(0),
                                    stringArg(community), stringArg("system.5.0"), numberArg(200), numberArg(1)});
    }
};

TEST_F(AllocationFailureTest, EveryCallEndsCleanly)
{
    failEachAllocation("get", [&]() { return get("public"); });
    failEachAllocation("set", [&]() {
        return call(ScriptIdSetEx, {stringArg("127.0.0.1"), numberArg(agent->port()), numberArg(0),
                                    stringArg("public"), stringArg("1.3.6.1.4.1.99999.1.2.0"), numberArg(ASN_OCTET_STR),
                                    stringArg("allocation"), numberArg(200), numberArg(1)});
    });
    failEachAllocation("walk step", [&]() {
        // The get that fixes the walk's place runs with every allocation granted.
        const long failing = failAt;
        failAt = 0;
        get("+public");
        failAt = failing;
        allocations = 0;
        return call(ScriptIdGetNext, {});
    });
    failEachAllocation("user-based open", [&]() {
        forgetKnownAgents();  // with its discovery
        return get("/joe/maplesyrup");
    });
    failEachAllocation("user-based get to a known agent", [&]() {
        const long failing = failAt;
        failAt = 0;
        if (knownAgentCount() == 0)  // a failed call forgets the agent
            get("/joe/maplesyrup");
        failAt = failing;
        allocations = 0;
        return get("/joe/maplesyrup");
    });
    const char v3[] = "#ann/SHA-256:annpass123/AES:annpriv123";
    failEachAllocation("SNMPv3 open", [&]() {
        forgetKnownEngines();  // with its discovery
        return get(v3);
    });
    failEachAllocation("SNMPv3 get to a known engine", [&]() {
        const long failing = failAt;
        failAt = 0;
        if (knownEngineCount() == 0)
            get(v3);
        failAt = failing;
        allocations = 0;
        return get(v3);
    });
}

}  // namespace
