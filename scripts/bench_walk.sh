#!/usr/bin/env bash
# Walk benchmark: the whole private snmpd walked by the runner (an snmpgetnext
# loop in Lua) and by Net-SNMP's `snmpwalk -v1`, alternately, in the same run
# against the same agent. Everything runs pinned to one core (the agent
# included), so a round trip costs no wake-up across cores and the figures
# are about the two walkers' own costs. Reports medians of wall time and of
# CPU time (user + system of the walker alone, not the agent) and the ratios;
# then, when strace is there, one more walk of each under `strace -c`: the
# system calls per walked variable, by name.
#   scripts/bench_walk.sh BIN_DIR [ROUNDS]
# BENCH_CORE picks the core (default 0); BENCH_CORE=none runs unpinned.
# Goal: wall ratio (runner / snmpwalk) <= 0.95, CPU ratio <= 0.8.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CORE=${BENCH_CORE:-0}

if [ "${1:-}" != "--with-peers" ]; then
    BIN=$(cd "$1" && pwd)
    PIN=(taskset -c "$CORE")
    [ "$CORE" = none ] && PIN=()
    exec "${PIN[@]}" /usr/bin/python3 "$ROOT/tests/e2e/peers.py" --snmpd -- \
        "$0" --with-peers "$BIN" "${2:-7}"
fi
BIN=$2
ROUNDS=$3

# The walk in Lua: a get fixes the agent and the first name, then get-next
# until snmpobjid() comes back empty (noSuchName at the end in SNMPv1). Each
# variable is written out as snmpwalk writes it, so both walkers do the same
# work: request, decode, format, print.
cat > "$PEERS_DIR/walk.lua" <<'EOF'
local port = tonumber(os.getenv("SNMPD_PORT"))
vantor.on_message(function() end)   -- the end of the walk is message 1127
local out = io.stdout
local count = 0
local value = snmpgetEx("127.0.0.1", port, 0, "public", "1.3.6.1.2.1.1.1.0")
while snmpobjid() ~= "" do
  out:write(snmpobjid(), " = ", tostring(value), "\n")
  count = count + 1
  value = snmpgetnext()
end
io.stderr:write(count, "\n")
EOF

export BIN ROUNDS
/usr/bin/python3 - <<'EOF'
import os, shutil, statistics, subprocess, time

port = os.environ["SNMPD_PORT"]
rounds = int(os.environ["ROUNDS"])
walkers = {
    "runner": [os.path.join(os.environ["BIN"], "vantor-lua"), os.path.join(os.environ["PEERS_DIR"], "walk.lua")],
    "snmpwalk": ["snmpwalk", "-v1", "-c", "public", "-On", "-m", "", "-M", "/nonexistent",
                 "127.0.0.1:" + port, ".1"],
}

def measured(command, counted_by=None):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # Read both pipes fully, then reap the child with its own resource usage.
    out = process.stdout.read()
    err = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise SystemExit("%s failed: %s" % (command[0], err.decode(errors="replace")[-500:]))
    if (counted_by or command[0]) == "snmpwalk":
        count = out.count(b"\n.1.") + (1 if out.startswith(b".1.") else 0)
    else:
        count = int(err.split()[-1])
    return wall, usage.ru_utime + usage.ru_stime, count

# One warm-up walk each (caches of the agent, page cache of the programs).
for command in walkers.values():
    measured(command)

results = {name: [] for name in walkers}
for _ in range(rounds):
    for name, command in walkers.items():
        results[name].append(measured(command))

def median(name, index):
    return statistics.median(r[index] for r in results[name])

core = os.environ.get("BENCH_CORE", "0")
print("walk of the whole agent, %d rounds, %s; medians"
      % (rounds, "not pinned" if core == "none" else "agent and walkers pinned to core " + core))
print("%-9s %9s %10s %10s %9s" % ("walker", "variables", "wall s", "CPU s", "us/var"))
for name in walkers:
    count = int(median(name, 2))
    print("%-9s %9d %10.3f %10.3f %9.1f" % (name, count, median(name, 0), median(name, 1),
                                            1e6 * median(name, 0) / max(count, 1)))
wall_ratio = median("runner", 0) / median("snmpwalk", 0)
cpu_ratio = median("runner", 1) / median("snmpwalk", 1)
print("wall ratio runner/snmpwalk %.2f (goal <= 0.95): %s" % (wall_ratio, "met" if wall_ratio <= 0.95 else "NOT met"))
print("CPU  ratio runner/snmpwalk %.2f (goal <= 0.8): %s" % (cpu_ratio, "met" if cpu_ratio <= 0.8 else "NOT met"))
for name in walkers:
    print("%-9s rounds: %s" % (name, "  ".join("%.3fs/%.3fs" % (w, c) for w, c, _ in results[name])))

# System calls per walked variable: strace's summary (-c) of one walk each.
if shutil.which("strace"):
    print("system calls per walked variable (strace -c -f, one walk each)")
    for name, command in walkers.items():
        summary = os.path.join(os.environ["PEERS_DIR"], name + ".strace")
        _, _, count = measured(["strace", "-f", "-c", "-o", summary] + command, command[0])
        calls = {}
        for line in open(summary):
            fields = line.split()
            # % time, seconds, usecs/call, calls, [errors,] name
            if len(fields) >= 5 and fields[3].isdigit() and fields[-1] != "total":
                calls[fields[-1]] = int(fields[3])
        busy = sorted(calls.items(), key=lambda item: -item[1])
        print("%-9s %6.2f per variable: %s" % (name, sum(calls.values()) / max(count, 1), "  ".join(
            "%s %.2f" % (call, n / max(count, 1)) for call, n in busy if n >= count / 20)))
EOF
