#!/usr/bin/env bash
# Walk benchmark: the whole private snmpd walked by the runner (an snmpgetnext
# loop in Lua) and by Net-SNMP's `snmpwalk -v1 -On -Oq`, alternately, in the
# same run against the same agent. Both write "name value" per variable, so
# both do the same work: request, decode, format, print. Unpinned by default,
# as a walk runs in use; BENCH_CORE=N pins everything (the agent included) to
# core N. Reports medians of wall time and of CPU time (user + system of the
# walker alone, not the agent) and the ratios; then, when strace is there, one
# more walk of each under `strace -c`: the system calls per walked variable.
#   scripts/bench_walk.sh BIN_DIR [ROUNDS]
# BENCH_BASELINE=OTHER_BIN_DIR walks another build's runner too, interleaved
# in the same rounds, for a before/after comparison in one run.
# Goal: wall ratio (runner / snmpwalk) <= 0.9, CPU ratio <= 0.65.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CORE=${BENCH_CORE:-none}

if [ "${1:-}" != "--with-peers" ]; then
    BIN=$(cd "$1" && pwd)
    [ -n "${BENCH_BASELINE:-}" ] && BENCH_BASELINE=$(cd "$BENCH_BASELINE" && pwd) && export BENCH_BASELINE
    export BENCH_CORE=$CORE
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
# work: request, decode, format, print (as -Oq: the name, a space, the value).
cat > "$PEERS_DIR/walk.lua" <<'EOF'
local port = tonumber(os.getenv("SNMPD_PORT"))
vantor.on_message(function() end)   -- the end of the walk is message 1127
local out = io.stdout
local count = 0
local value = snmpgetEx("127.0.0.1", port, 0, "public", "1.3.6.1.2.1.1.1.0")
while snmpobjid() ~= "" do
  out:write(snmpobjid(), " ", tostring(value), "\n")
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
script = os.path.join(os.environ["PEERS_DIR"], "walk.lua")
walkers = {
    "runner": [os.path.join(os.environ["BIN"], "vantor-lua"), script],
    "snmpwalk": ["snmpwalk", "-v1", "-c", "public", "-On", "-Oq", "-m", "", "-M", "/nonexistent",
                 "127.0.0.1:" + port, ".1"],
}
baseline = os.environ.get("BENCH_BASELINE")
if baseline:
    walkers["baseline"] = [os.path.join(baseline, "vantor-lua"), script]
WALL_GOAL, CPU_GOAL = 0.9, 0.65

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

core = os.environ["BENCH_CORE"]
print("walk of the whole agent, %d rounds, %s; medians"
      % (rounds, "not pinned" if core == "none" else "agent and walkers pinned to core " + core))
print("%-9s %9s %10s %10s %9s" % ("walker", "variables", "wall s", "CPU s", "us/var"))
for name in walkers:
    count = int(median(name, 2))
    print("%-9s %9d %10.3f %10.3f %9.1f" % (name, count, median(name, 0), median(name, 1),
                                            1e6 * median(name, 0) / max(count, 1)))
wall_ratio = median("runner", 0) / median("snmpwalk", 0)
cpu_ratio = median("runner", 1) / median("snmpwalk", 1)
print("wall ratio runner/snmpwalk %.2f (goal <= %.2f): %s"
      % (wall_ratio, WALL_GOAL, "met" if wall_ratio <= WALL_GOAL else "NOT met"))
print("CPU  ratio runner/snmpwalk %.2f (goal <= %.2f): %s"
      % (cpu_ratio, CPU_GOAL, "met" if cpu_ratio <= CPU_GOAL else "NOT met"))
if baseline:
    print("baseline/snmpwalk: wall %.2f, CPU %.2f"
          % (median("baseline", 0) / median("snmpwalk", 0), median("baseline", 1) / median("snmpwalk", 1)))
for name in walkers:
    print("%-9s rounds: %s" % (name, "  ".join("%.3fs/%.3fs" % (w, c) for w, c, _ in results[name])))

# System calls per walked variable: strace's summary (-c) of one walk each.
if shutil.which("strace"):
    print("system calls per walked variable (strace -c -f, one walk each)")
    for name, command in walkers.items():
        if name == "baseline":
            continue
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
