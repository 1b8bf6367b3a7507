#!/usr/bin/env bash
# SNMPv3 benchmark against a private snmpd with a SHA-256/AES user and a
# SHA/AES-256 one, everything pinned to one core, rounds interleaved, medians:
#   - a get in a loop in one runner process: SNMPv3 authPriv (SHA-256/AES and
#     SHA/AES-256 with the Blumenthal key extension) against SNMPv1 (goal: at
#     most 1.3 times), the engine and keys known after the first call;
#   - an SNMPv2c inform in a loop against an SNMPv2c get in a loop, both to the
#     project's test agent, which acknowledges informs (goal: at most 1.2 times);
#   - the first call to a new agent (a fresh process: discovery, key
#     derivation and the get) against Net-SNMP's snmpget -v3, which does the
#     same, and snmpget -v1 for scale.
#   scripts/bench_v3.sh BIN_DIR [ROUNDS]
# BENCH_CORE picks the core (default 0); BENCH_CORE=none runs unpinned.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CORE=${BENCH_CORE:-0}
PIN=(taskset -c "$CORE")
[ "$CORE" = none ] && PIN=()
BIN=$(cd "$1" && pwd) ROUNDS=${2:-7} ROOT=$ROOT exec "${PIN[@]}" /usr/bin/python3 - <<'EOF_PY'
import os, statistics, subprocess, sys, tempfile, time
sys.path.insert(0, os.path.join(os.environ["ROOT"], "tests", "e2e"))
import peers

BIN, ROUNDS = os.environ["BIN"], int(os.environ["ROUNDS"])
USER, AUTH, PRIV = "benchuser", "benchpass123", "benchpriv123"
LOOP = 2000

folder = tempfile.mkdtemp(prefix="vantor-bench-v3-")
agent = peers.Snmpd(folder, "createUser %s SHA-256 %s AES %s\nrouser %s priv\n" % (USER, AUTH, PRIV, USER) +
                    "createUser bench256 SHA %s AES-256 %s\nrouser bench256 priv\n" % (AUTH, PRIV))
agent.start()
port = agent.port
test_agent = peers.TestAgent(folder, os.path.join(BIN, "snmp-test-agent"), "")
test_agent.start()
env = peers.peer_environment(folder)
script = os.path.join(folder, "gets.lua")
with open(script, "w") as f:
    f.write("""vantor.on_message(function(id, text) io.stderr:write(text, "\\n") end)
local call, port, community, count = arg[1], tonumber(arg[2]), arg[3], tonumber(arg[4])
for _ = 1, count do
  if call == "inform" then
    if snmpinformEx("127.0.0.1", port, 0, community, "1.3.6.1.6.3.1.1.5.3", 1000, 2) ~= 1 then os.exit(1) end
  elseif snmpgetEx("127.0.0.1", port, 0, community, "1.3.6.1.2.1.1.5.0", 1000, 2) == nil then os.exit(1) end
end
""")
# Each kind of call: a process of LOOP calls and one of a single call.
kinds = {
    "v1": ["get", str(port), "public"],
    "v3": ["get", str(port), "#%s/SHA-256:%s/AES:%s" % (USER, AUTH, PRIV)],
    "v3 aes256": ["get", str(port), "#bench256/SHA:%s/AES-256:%s" % (AUTH, PRIV)],
    "v2c agent get": ["get", str(test_agent.port), "+public"],
    "v2c agent inform": ["inform", str(test_agent.port), "+public"],
}
runner = [os.path.join(BIN, "vantor-lua"), script]
v1, v3 = kinds["v1"], kinds["v3"]
snmpget = ["snmpget", "-m", "", "-M", "/nonexistent", "-On", "-t", "1", "-r", "1"]
commands = {"loop " + k: runner + a + [str(LOOP)] for k, a in kinds.items()}
commands.update({"runner, first %s get" % k: runner + a + ["1"] for k, a in kinds.items()})
commands.update({
    "runner, no call": runner + v1 + ["0"],
    "snmpget -v1": snmpget + ["-v1", "-c", "public", "127.0.0.1:%d" % port, "1.3.6.1.2.1.1.5.0"],
    "snmpget -v3": snmpget + ["-v3", "-l", "authPriv", "-u", USER, "-a", "SHA-256", "-A", AUTH, "-x", "AES",
                              "-X", PRIV, "127.0.0.1:%d" % port, "1.3.6.1.2.1.1.5.0"],
})

def agent_cpu():
    with open("/proc/%d/stat" % agent.process.pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

# Wall time of the command; its own CPU time and the agent's beside it.
def wall(command):
    before = agent_cpu()
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("%s failed: %s" % (" ".join(command[:2]), err.decode(errors="replace")[-300:]))
    cpu[command_name(command)].append((usage.ru_utime + usage.ru_stime, agent_cpu() - before))
    return elapsed

cpu = {name: [] for name in commands}
def command_name(command):
    return next(name for name, c in commands.items() if c is command)

try:
    for command in commands.values():  # warm-up: page cache, the agent's caches
        wall(command)
    times = {name: [] for name in commands}
    for _ in range(ROUNDS):
        for name, command in commands.items():
            times[name].append(wall(command))
finally:
    agent.stop()
    test_agent.stop()
median = {name: statistics.median(values) for name, values in times.items()}
base = median["runner, no call"]
# The steady state: a process of one get (start-up, discovery, keys) taken
# off a process of LOOP gets.
per_call = {v: (median["loop " + v] - median["runner, first %s get" % v]) / (LOOP - 1) * 1e6 for v in kinds}
core = os.environ.get("BENCH_CORE", "0")
print("SNMPv3 (SHA-256/AES) against SNMPv1, private snmpd, %d rounds, %s; medians"
      % (ROUNDS, "not pinned" if core == "none" else "agent and callers pinned to core " + core))
print("get in a loop (%d gets per process; a process of one get subtracted):" % LOOP)
print("  v1 %.1f us per get, v3 %.1f us per get: ratio %.2f (goal <= 1.3): %s" % (
    per_call["v1"], per_call["v3"], per_call["v3"] / per_call["v1"],
    "met" if per_call["v3"] / per_call["v1"] <= 1.3 else "NOT met"))
print("  v1 %.1f us per get, v3 SHA/AES-256 %.1f us per get: ratio %.2f (goal <= 1.3): %s" % (
    per_call["v1"], per_call["v3 aes256"], per_call["v3 aes256"] / per_call["v1"],
    "met" if per_call["v3 aes256"] / per_call["v1"] <= 1.3 else "NOT met"))
# The same for CPU time, the module's process and the agent's.
def cpu_per_get(v, which):
    spent = statistics.median(c[which] for c in cpu["loop " + v][1:])
    first = statistics.median(c[which] for c in cpu["runner, first %s get" % v][1:])
    return (spent - first) / (LOOP - 1) * 1e6
caller = {v: cpu_per_get(v, 0) for v in ("v1", "v3")}
served = {v: cpu_per_get(v, 1) for v in ("v1", "v3")}
print("  CPU per get: the module's process v1 %.1f us, v3 %.1f us (ratio %.2f); snmpd v1 %.1f us, v3 %.1f us"
      % (caller["v1"], caller["v3"], caller["v3"] / caller["v1"], served["v1"], served["v3"]))
inform_ratio = per_call["v2c agent inform"] / per_call["v2c agent get"]
print("inform in a loop against a get in a loop, SNMPv2c, the test agent (a process of one call subtracted):")
print("  get %.1f us, inform %.1f us: ratio %.2f (goal <= 1.2): %s" % (
    per_call["v2c agent get"], per_call["v2c agent inform"], inform_ratio, "met" if inform_ratio <= 1.2 else "NOT met"))
print("one get in a fresh process (ms, whole process):")
for name in ("runner, no call", "runner, first v1 get", "runner, first v3 get", "snmpget -v1", "snmpget -v3"):
    print("  %-22s %7.2f" % (name, median[name] * 1e3))
print("  first v3 call of the runner beyond its start-up: %.2f ms (discovery, 2 keys over 1 MiB, the get)"
      % ((median["runner, first v3 get"] - base) * 1e3))
print("  runner / snmpget -v3, whole process: %.2f" % (median["runner, first v3 get"] / median["snmpget -v3"]))
EOF_PY
