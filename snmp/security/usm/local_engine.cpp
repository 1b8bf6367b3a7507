#include "snmp/security/usm/local_engine.h"

#include <cstring>

#include "platform/winsock.h"
#include "snmp/security/common/agent_clock.h"
#include "snmp/security/common/md5.h"
#include "snmp/security/usm/usm_protocols.h"
#include "snmp/security/usm/usm_session.h"
#include "snmp/snmp.h"

namespace {

// No enterprise number of the module's own: the reserved 0, in the form
// with the high bit set, then format 5 (administratively assigned octets).
const uint8_t IdentityPrefix[] = {0x80, 0x00, 0x00, 0x00, 0x05};
constexpr int32_t BootsEpoch = 1577836800;  // 2020-01-01 00:00 UTC, seconds of the wall clock

struct LocalEngine {
    bool started;
    int32_t startClock;  // localClock() at the first use
    int32_t boots;
    uint8_t id[UsmMaxEngineIdLength];
    int32_t idLength;  // 0: the host name's
};

LocalEngine& engine()
{
    static LocalEngine local = {};
    if (!local.started) {
        local.started = true;
        local.startClock = localClock();
        const int64_t boots = static_cast<int64_t>(local.startClock) - BootsEpoch;
        local.boots = boots < 0 ? 0 : boots >= UsmBootsLatched ? UsmBootsLatched - 1 : static_cast<int32_t>(boots);
    }
    return local;
}

}  // namespace

int32_t localEngineIdentity(uint8_t* engineId)
{
    const LocalEngine& local = engine();
    if (local.idLength > 0) {
        std::memcpy(engineId, local.id, static_cast<size_t>(local.idLength));
        return local.idLength;
    }
    char host[256] = {};
    if (gethostname(host, static_cast<int>(sizeof host - 1)) != 0)
        host[0] = '\0';  // still one identifier per machine where the name cannot be read
    Md5Context context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const uint8_t*>(host), static_cast<uint32_t>(std::strlen(host)));
    std::memcpy(engineId, IdentityPrefix, sizeof IdentityPrefix);
    MD5Final(engineId + sizeof IdentityPrefix, &context);
    return static_cast<int32_t>(sizeof IdentityPrefix + kMd5DigestSize);
}

int32_t localEngineBoots() { return engine().boots; }

int32_t localEngineTime()
{
    const int32_t elapsed = localClock() - engine().startClock;
    return elapsed < 0 ? 0 : elapsed;  // a wall clock set back does not make the time negative
}

void restartLocalEngine() { engine() = LocalEngine{}; }

int32_t getLocalEngineId(uint8_t* engineId) { return localEngineIdentity(engineId); }

int32_t setLocalEngineId(const uint8_t* engineId, int32_t length)
{
    if (length < SnmpMinEngineIdLength || length > SnmpMaxEngineIdLength)
        return -1;
    LocalEngine& local = engine();
    std::memcpy(local.id, engineId, static_cast<size_t>(length));
    local.idLength = length;
    return 0;
}
