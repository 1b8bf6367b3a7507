// snmp-test-agent: the test agent as a command-line tool. See
// tools/agent/README.md for the options, the table format and the log.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/agent/test_agent.h"
#include "tools/agent/usec.h"
#include "tools/agent/usm.h"

using namespace testagent;

namespace {

const char usageText[] =
    "usage: snmp-test-agent [--port N] [--address 127.x.y.z|::1] [--table FILE] [--rows N]\n"
    "                       [--community C]... [--any-community] [--readonly] [--create]\n"
    "                       [--v1-counter64] [misbehaviour...] [--log FILE]\n"
    "                       [--max-requests N] [--exit-after-seconds S] [--dump-table]\n"
    "                       [user-based: --usec  --engine-id HEX  --boots N  --time-offset S\n"
    "                        --user NAME[:PASSPHRASE|:0xHEX32]...  --context C...  --any-context]\n"
    "                       [SNMPv3: --v3-user NAME[:AUTH:SECRET[:PRIV:SECRET]]...  --v3-engine-id HEX\n"
    "                        --v3-boots N  --v3-time-offset S]\n"
    "misbehaviour: --drop-first N  --delay MS  --wrong-id-first  --wrong-id-offset K\n"
    "              --previous-reply-first  --mangle-first truncate|length|tag|version\n"
    "              --report  --error-status S  --error-index I  --extra-before N\n"
    "              --extra-after N  --duplicate  --misbehave-count N\n"
    "              --only-command TAG  --ignore-command TAG  --reply-limit N  --repeat-from P\n"
    "              --oversize\n"
    "user-based:   --drop-discovery N|all  --wrong-digest  --stale-time S  --lower-boots\n"
    "              --higher-boots  --privacy-bit  --forge-first digest|stale|boots|plain|report\n"
    "              --forge-only\n"
    "SNMPv3:       --v3-forge digest|stale|msgid|report|replay|empty-mac|short-mac|long-mac|\n"
    "                         mac-first|mac-last|context-engine|context|clock-report|no-engine|\n"
    "                         plain|model|priv-only|id-0|report-id|user|engine|cipher-auth|cleartext|\n"
    "                         privacy|no-salt|short-cipher|engine-report|foreign-report|\n"
    "                         discovery-response\n"
    "              --v3-forge-only\n";

std::atomic<TestAgent*> runningAgent{nullptr};

void onSignal(int)
{
    TestAgent* agent = runningAgent.load();
    if (agent != nullptr)
        agent->requestStop();
}

bool parseInteger(const std::string& text, long long low, long long high, long long* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "snmp-test-agent: %s\n%s", message.c_str(), usageText);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    AgentConfig config;
    config.memoryLog = false;  // the tool logs to its file only
    std::string tableFile;
    long long rows = 0;
    long long maxRequests = 0;
    double exitAfterSeconds = 0;
    bool dumpTable = false;
    bool communitiesGiven = false;
    bool usec = false;
    UsecConfig usecConfig;
    std::vector<std::string> userTexts;
    bool v3 = false;
    UsmConfig usmConfig;
    std::vector<std::string> v3UserTexts;

    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        std::string value;
        bool inlineValue = false;
        const size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        auto integer = [&](long long low, long long high, long long* out) -> bool {
            return takeValue() && parseInteger(value, low, high, out);
        };
        long long n = 0;
        Misbehaviour& m = config.misbehaviour;
        UsecMisbehaviour& um = usecConfig.misbehaviour;

        if (option == "--help" || option == "-h") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (option == "--port") {
            if (!integer(0, 65535, &n))
                return usageError("--port needs a number from 0 to 65535");
            config.port = static_cast<uint16_t>(n);
        } else if (option == "--address") {
            if (!takeValue())
                return usageError("--address needs an address");
            config.address = value;
        } else if (option == "--table") {
            if (!takeValue())
                return usageError("--table needs a file");
            tableFile = value;
        } else if (option == "--rows") {
            if (!integer(0, 10000000, &rows))
                return usageError("--rows needs a number from 0 to 10000000");
        } else if (option == "--community") {
            if (!takeValue())
                return usageError("--community needs a community");
            if (!communitiesGiven)
                config.communities.clear();
            communitiesGiven = true;
            config.communities.push_back(value);
        } else if (option == "--any-community") {
            config.anyCommunity = true;
        } else if (option == "--readonly") {
            config.readOnly = true;
        } else if (option == "--create") {
            config.allowCreate = true;
        } else if (option == "--v1-counter64") {
            config.v1Counter64 = true;
        } else if (option == "--drop-first") {
            if (!integer(0, INT32_MAX, &n))
                return usageError("--drop-first needs a count");
            m.dropFirst = static_cast<int32_t>(n);
        } else if (option == "--delay") {
            if (!integer(0, 3600000, &n))
                return usageError("--delay needs milliseconds (0 to 3600000)");
            m.delayMs = static_cast<int32_t>(n);
        } else if (option == "--wrong-id-first") {
            m.wrongIdFirst = true;
        } else if (option == "--wrong-id-offset") {
            if (!integer(INT32_MIN, INT32_MAX, &n))
                return usageError("--wrong-id-offset needs a 32-bit number");
            m.wrongIdOffset = static_cast<int32_t>(n);
        } else if (option == "--previous-reply-first") {
            m.previousReplyFirst = true;
        } else if (option == "--mangle-first") {
            if (!takeValue() || !parseMangle(value, &m.mangleFirst))
                return usageError("--mangle-first needs truncate, length, tag or version");
        } else if (option == "--report") {
            m.report = true;
        } else if (option == "--error-status") {
            if (!integer(0, INT32_MAX, &n))
                return usageError("--error-status needs a status of 0 or more");
            m.errorStatus = static_cast<int32_t>(n);
        } else if (option == "--error-index") {
            if (!integer(0, INT32_MAX, &n))
                return usageError("--error-index needs an index of 0 or more");
            m.errorIndex = static_cast<int32_t>(n);
        } else if (option == "--extra-before") {
            if (!integer(0, 1000, &n))
                return usageError("--extra-before needs a count from 0 to 1000");
            m.extraBefore = static_cast<int32_t>(n);
        } else if (option == "--extra-after") {
            if (!integer(0, 1000, &n))
                return usageError("--extra-after needs a count from 0 to 1000");
            m.extraAfter = static_cast<int32_t>(n);
        } else if (option == "--duplicate") {
            m.duplicate = true;
        } else if (option == "--misbehave-count") {
            if (!integer(0, INT32_MAX, &n))
                return usageError("--misbehave-count needs a count");
            m.misbehaveCount = static_cast<int32_t>(n);
        } else if (option == "--ignore-command") {
            if (!integer(0, 255, &n))
                return usageError("--ignore-command needs a PDU tag");
            m.ignoreCommand = static_cast<int32_t>(n);
        } else if (option == "--only-command") {
            if (!integer(0, 255, &n))
                return usageError("--only-command needs a PDU tag");
            m.onlyCommand = static_cast<int32_t>(n);
        } else if (option == "--reply-limit") {
            if (!integer(0, INT32_MAX, &n))
                return usageError("--reply-limit needs a length in octets");
            m.replyLimit = static_cast<int32_t>(n);
        } else if (option == "--repeat-from") {
            if (!integer(0, 1000, &n))
                return usageError("--repeat-from needs a place from 0 to 1000");
            m.repeatFrom = static_cast<int32_t>(n);
        } else if (option == "--oversize") {
            m.oversize = true;
        } else if (option == "--usec") {
            usec = true;
        } else if (option == "--engine-id") {
            if (!takeValue() || !parseEngineId(value, &usecConfig.engineId))
                return usageError("--engine-id needs 24 hexadecimal digits");
            usec = true;
        } else if (option == "--boots") {
            if (!integer(0, UINT32_MAX, &n))
                return usageError("--boots needs a number from 0 to 4294967295");
            usecConfig.boots = static_cast<uint32_t>(n);
            usec = true;
        } else if (option == "--time-offset") {
            if (!integer(INT32_MIN, UINT32_MAX, &n))
                return usageError("--time-offset needs seconds");
            usecConfig.timeOffset = n;
            usec = true;
        } else if (option == "--user") {
            if (!takeValue())
                return usageError("--user needs NAME[:PASSPHRASE|:0xHEX32]");
            userTexts.push_back(value);
            usec = true;
        } else if (option == "--context") {
            if (!takeValue() || value.size() > UsecMaxContext)
                return usageError("--context needs a context of at most 40 octets");
            usecConfig.contexts.push_back(value);
            usec = true;
        } else if (option == "--any-context") {
            usecConfig.anyContext = true;
            usec = true;
        } else if (option == "--drop-discovery") {
            if (!takeValue())
                return usageError("--drop-discovery needs a count or all");
            if (value == "all")
                um.dropDiscovery = -1;
            else if (parseInteger(value, 0, INT32_MAX, &n))
                um.dropDiscovery = static_cast<int32_t>(n);
            else
                return usageError("--drop-discovery needs a count or all");
            usec = true;
        } else if (option == "--wrong-digest") {
            um.wrongDigest = true;
            usec = true;
        } else if (option == "--stale-time") {
            if (!integer(1, INT32_MAX, &n))
                return usageError("--stale-time needs seconds above 0");
            um.staleSeconds = static_cast<int32_t>(n);
            usec = true;
        } else if (option == "--lower-boots") {
            um.lowerBoots = true;
            usec = true;
        } else if (option == "--higher-boots") {
            um.higherBoots = true;
            usec = true;
        } else if (option == "--privacy-bit") {
            um.privacyBit = true;
            usec = true;
        } else if (option == "--forge-first") {
            Forgery forgery;
            if (!takeValue() || !parseForgery(value, &forgery))
                return usageError("--forge-first needs digest, stale, boots, plain or report");
            um.forgeFirst.push_back(forgery);
            usec = true;
        } else if (option == "--forge-only") {
            um.forgeOnly = true;
            usec = true;
        } else if (option == "--v3-user") {
            if (!takeValue())
                return usageError("--v3-user needs NAME[:AUTH:SECRET[:PRIV:SECRET]]");
            v3UserTexts.push_back(value);
            v3 = true;
        } else if (option == "--v3-engine-id") {
            if (!takeValue() || !parseUsmEngineId(value, &usmConfig.engineId))
                return usageError("--v3-engine-id needs 5 to 32 octets in hexadecimal");
            v3 = true;
        } else if (option == "--v3-boots") {
            if (!integer(0, INT32_MAX, &n))
                return usageError("--v3-boots needs a number from 0 to 2147483647");
            usmConfig.boots = static_cast<int32_t>(n);
            v3 = true;
        } else if (option == "--v3-time-offset") {
            if (!integer(INT32_MIN, INT32_MAX, &n))
                return usageError("--v3-time-offset needs seconds");
            usmConfig.timeOffset = n;
            v3 = true;
        } else if (option == "--v3-forge") {
            UsmForgery forgery;
            if (!takeValue() || !parseUsmForgery(value, &forgery))
                return usageError("--v3-forge needs one of the kinds the help lists");
            usmConfig.misbehaviour.forgeFirst.push_back(forgery);
            v3 = true;
        } else if (option == "--v3-forge-only") {
            usmConfig.misbehaviour.forgeOnly = true;
            v3 = true;
        } else if (option == "--log") {
            if (!takeValue())
                return usageError("--log needs a file");
            config.logPath = value;
        } else if (option == "--max-requests") {
            if (!integer(0, INT64_MAX, &maxRequests))
                return usageError("--max-requests needs a count");
        } else if (option == "--exit-after-seconds") {
            char* end = nullptr;
            if (!takeValue())
                return usageError("--exit-after-seconds needs seconds");
            exitAfterSeconds = std::strtod(value.c_str(), &end);
            if (end == nullptr || *end != '\0' || !(exitAfterSeconds >= 0) || exitAfterSeconds > 86400.0 * 365)
                return usageError("--exit-after-seconds needs seconds");
        } else if (option == "--dump-table") {
            dumpTable = true;
        } else {
            return usageError("unknown option " + option);
        }
        if (inlineValue && value.empty() && option != "--community" && option != "--context")
            return usageError(option + " needs a value");
    }

    // Pass phrases are localised once the identifier is known, wherever --engine-id stood.
    for (const std::string& text : userTexts) {
        UsecUser user;
        std::string error;
        if (!parseUsecUser(text, usecConfig.engineId, &user, &error))
            return usageError(error);
        for (const UsecUser& other : usecConfig.users) {
            if (other.name == user.name)
                return usageError("user " + user.name + " given twice");
        }
        usecConfig.users.push_back(user);
    }

    for (const std::string& text : v3UserTexts) {
        UsmUser user;
        std::string error;
        if (!parseUsmUser(text, usmConfig.engineId, &user, &error))
            return usageError(error);
        for (const UsmUser& other : usmConfig.users) {
            if (other.name == user.name)
                return usageError("v3 user " + user.name + " given twice");
        }
        usmConfig.users.push_back(user);
    }

    MibTable table;
    if (tableFile.empty()) {
        table = MibTable::builtIn();
    } else {
        std::string error;
        if (!table.loadFile(tableFile, &error)) {
            std::fprintf(stderr, "snmp-test-agent: %s\n", error.c_str());
            return 1;
        }
    }
    table.addRows(static_cast<uint32_t>(rows));
    if (dumpTable) {
        std::fputs(table.toText().c_str(), stdout);
        return 0;
    }

    // The user-based mode judges version-2 messages, the SNMPv3 mode version
    // 3; both live as long as the agent.
    std::unique_ptr<UsecAgent> usecAgent;
    std::unique_ptr<UsmAgent> usmAgent;
    if (usec)
        usecAgent.reset(new UsecAgent(usecConfig));
    if (v3)
        usmAgent.reset(new UsmAgent(usmConfig));
    if (usec || v3) {
        config.hook = [&usecAgent, &usmAgent](ReceivedRequest& request) {
            if (request.version == SnmpVersion3)
                return usmAgent ? usmAgent->judge(request) : HookOutcome();
            return usecAgent ? usecAgent->judge(request) : HookOutcome();
        };
    }
    TestAgent agent(config, std::move(table));
    std::string error;
    if (!agent.open(&error)) {
        std::fprintf(stderr, "snmp-test-agent: %s\n", error.c_str());
        return 1;
    }

    runningAgent.store(&agent);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    // Test drivers read this line to learn the port and that the agent listens.
    std::printf("port %u\n", static_cast<unsigned>(agent.port()));
    std::fflush(stdout);

    agent.run(static_cast<uint64_t>(maxRequests), static_cast<int64_t>(exitAfterSeconds * 1000.0));
    runningAgent.store(nullptr);
    return 0;
}
