// parseSecurityString on a session record whose community is the input made
// zero-terminated (the record and the text exactly sized heap blocks, every
// member holding a known pattern first). Checked on every input:
//   - the result is 0 or UsecParseRefused, as a plain reading of the
//     string's parts done here says;
//   - user, flags, version, maximum size, context and keys given in
//     hexadecimal hold what that reading gives, the user name with its
//     terminator; a pass phrase leaves a key and its flag;
//   - every member the parse has no business with, and every octet of a
//     member behind what was stored, keeps its pattern;
//   - a refused string leaves every member as it was.
// Each pass phrase costs 1 MiB of MD5, so inputs with phrases run slowly.
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "platform/hex_digits.h"
#include "snmp/transport/sync_request.h"
#include "usec_fixture.h"

namespace {

void fill(uint8_t* p, size_t n, uint8_t value) { std::memset(p, value, n); }

const char PeerName[] = "127.0.0.1";
int callbackArgument;

SnmpSession pattern(const char* text)
{
    SnmpSession s;
    std::memset(&s, 0x5C, sizeof s);
    s.retries = 0x11111111;
    s.timeout = 0x22222222;
    s.peerName = PeerName;
    s.remotePort = 0x3333;
    s.localPort = 0x4444;
    s.authHook = usecAuthenticate;
    s.callback = syncCallback;
    s.callbackArg = &callbackArgument;
    s.version = 0x55555555;
    s.communityLength = static_cast<int32_t>(std::strlen(text));
    s.community = reinterpret_cast<const uint8_t*>(text);
    fill(s.authKey, sizeof s.authKey, 0xA1);
    fill(s.privKey, sizeof s.privKey, 0xB2);
    s.securityFlags = SecurityReportable;  // as discovery leaves it
    std::memcpy(s.agentId, fixture::AgentId, 12);
    s.agentBoots = 0x66666666;
    s.agentTime = 0x77777777;
    s.timeOffset = -0x08888888;
    fill(s.userName, sizeof s.userName, 0xC3);
    std::memcpy(s.userName, "kolbur", 6);
    s.userNameLength = 6;
    s.maxMessageSize = 1389;
    fill(s.context, sizeof s.context, 0xD4);
    std::memcpy(s.context, "old", 3);
    s.contextLength = 3;
    return s;
}

// Whether a key part is accepted: a pass phrase, nothing, or "0x" and
// exactly 32 hexadecimal digits.
bool keyAccepted(const std::string& part)
{
    if (part.size() <= 2 || part[0] != '0' || part[1] != 'x')
        return true;
    if (part.size() != 34)
        return false;
    for (size_t i = 2; i < part.size(); ++i)
        if (hexDigitValue(part[i]) < 0)
            return false;
    return true;
}

// An accepted key part read into key: 1 stored (phrase: *phrase set, key not
// known here), 0 empty.
int readKey(const std::string& part, uint8_t* key, bool* phrase)
{
    if (part.size() > 2 && part[0] == '0' && part[1] == 'x') {
        for (size_t i = 0; i < 16; ++i)
            key[i] = static_cast<uint8_t>(hexDigitValue(part[2 + 2 * i]) * 16 + hexDigitValue(part[3 + 2 * i]));
        return 1;
    }
    if (part.empty())
        return 0;
    *phrase = true;
    return 1;
}

struct Expected {
    int32_t result = 0;
    SnmpSession session;
    bool authPhrase = false;
    bool privPhrase = false;
};

Expected reference(const std::string& text, const SnmpSession& before)
{
    Expected e;
    e.session = before;
    SnmpSession& s = e.session;
    if (text.empty() || text[0] != '/')
        return e;
    std::vector<std::string> parts;
    size_t at = 1;
    while (parts.size() < 4) {
        const size_t slash = text.find('/', at);
        parts.push_back(text.substr(at, slash == std::string::npos ? std::string::npos : slash - at));
        if (slash == std::string::npos)
            break;
        at = slash + 1;
    }
    // Every part is checked before anything is stored.
    if (parts[0].empty() || parts[0].size() > 31 || (parts.size() > 1 && !keyAccepted(parts[1])) ||
        (parts.size() > 2 && !keyAccepted(parts[2])) || (parts.size() > 3 && parts[3].size() > sizeof s.context)) {
        e.result = UsecParseRefused;
        return e;
    }
    s.userNameLength = static_cast<int32_t>(parts[0].size());
    std::memcpy(s.userName, parts[0].data(), parts[0].size());
    s.userName[parts[0].size()] = 0;
    s.securityFlags = 0;
    s.version = SnmpVersionUsec;
    s.maxMessageSize = 1450;
    if (parts.size() > 1 && readKey(parts[1], s.authKey, &e.authPhrase) > 0)
        s.securityFlags |= SecurityAuth;
    if (parts.size() > 2 && readKey(parts[2], s.privKey, &e.privPhrase) > 0)
        s.securityFlags |= SecurityPriv;
    // The context; a fifth part and anything after it is not read.
    if (parts.size() > 3) {
        s.contextLength = static_cast<int32_t>(parts[3].size());
        std::memcpy(s.context, parts[3].data(), parts[3].size());
    }
    return e;
}

void checkSession(const SnmpSession& got, const Expected& e)
{
    const SnmpSession& want = e.session;
    FUZZ_CHECK(got.retries == want.retries);
    FUZZ_CHECK(got.timeout == want.timeout);
    FUZZ_CHECK(got.peerName == want.peerName);
    FUZZ_CHECK(got.remotePort == want.remotePort && got.localPort == want.localPort);
    FUZZ_CHECK(got.authHook == want.authHook);
    FUZZ_CHECK(got.callback == want.callback && got.callbackArg == want.callbackArg);
    FUZZ_CHECK(got.version == want.version);
    FUZZ_CHECK(got.communityLength == want.communityLength && got.community == want.community);
    if (e.authPhrase)
        FUZZ_CHECK(std::memcmp(got.authKey, want.authKey, 16) != 0);  // the pattern was replaced
    else
        FUZZ_CHECK(std::memcmp(got.authKey, want.authKey, 16) == 0);
    if (e.privPhrase)
        FUZZ_CHECK(std::memcmp(got.privKey, want.privKey, 16) != 0);
    else
        FUZZ_CHECK(std::memcmp(got.privKey, want.privKey, 16) == 0);
    FUZZ_CHECK(got.securityFlags == want.securityFlags);
    FUZZ_CHECK(std::memcmp(got.agentId, want.agentId, 12) == 0);
    FUZZ_CHECK(got.agentBoots == want.agentBoots && got.agentTime == want.agentTime);
    FUZZ_CHECK(got.timeOffset == want.timeOffset);
    FUZZ_CHECK(got.userNameLength == want.userNameLength);
    FUZZ_CHECK(std::memcmp(got.userName, want.userName, sizeof got.userName) == 0);
    FUZZ_CHECK(got.maxMessageSize == want.maxMessageSize);
    FUZZ_CHECK(got.contextLength == want.contextLength);
    FUZZ_CHECK(std::memcmp(got.context, want.context, sizeof got.context) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size > 0)
        std::memcpy(text.get(), data, size);
    text[size] = 0;

    std::unique_ptr<SnmpSession> session(new SnmpSession(pattern(text.get())));
    const Expected expected = reference(std::string(text.get()), *session);
    const int32_t result = parseSecurityString(session.get());
    FUZZ_CHECK(result == 0 || result == UsecParseRefused);
    FUZZ_CHECK(result == expected.result);
    checkSession(*session, expected);
    return 0;
}
