#!/usr/bin/env bash
# Bulk walks and many variables per request, side by side in one run, the
# commands interleaved round by round (the order reversed every other round),
# medians of ROUNDS rounds, unpinned:
#   1. the whole private snmpd walked over SNMPv2c ("+public") by an unchanged
#      walk script (snmpgetEx, then snmpgetnext until the name stops
#      changing) against snmpbulkwalk -v2c -Cr10: wall time, CPU of the walker
#      alone, datagrams each sends, and the names each walked;
#   2. the same over SNMPv3 authPriv (SHA-256, AES) against snmpbulkwalk -v3;
#   3. 144 values (three columns of 48 rows of the test agent's generated
#      table) fetched by one snmpgetvarsEx and read with snmpvar(k), against
#      one snmpgetEx of one variable; each repeated in a loop in one runner
#      process, a process of one operation subtracted.
#   scripts/bench_bulk.sh BIN_DIR [ROUNDS]
# BIN_DIR holds vantor-lua, snmp.so and snmp-test-agent. BENCH_CORE=N pins
# the peers and callers to core N (default: none, unpinned). BULK_POLLS and
# BULK_GETS set the loop lengths of the poll and the get (default 1000 and 5000).
#
# Datagrams are counted in separate runs, not the timed ones: every sendto,
# sendmsg and sendmmsg of the walker under strace, by destination, and
# checked against the datagram dumps of the same run (VANTOR_DUMP=1, -d).
# Names: the lists of every timed walk are checked against each other (and for
# order and repeats); differences inside the tables that change by
# themselves (sockets, processes, storage, neighbours) are counted apart. The
# test agent's table, which never changes, must come out exactly the same.
#
# Exit status 1 when a walker fails or the names differ; goals not met only
# print "NOT met".
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CORE=${BENCH_CORE:-none}
PIN=(taskset -c "$CORE")
[ "$CORE" = none ] && PIN=()
BIN=$(cd "${1:?usage: bench_bulk.sh BIN_DIR [ROUNDS]}" && pwd)
for program in vantor-lua snmp.so snmp-test-agent; do
    [ -e "$BIN/$program" ] || { echo "bench_bulk.sh: no $program in $BIN" >&2; exit 2; }
done
for tool in snmpd snmpbulkwalk; do
    command -v "$tool" >/dev/null || { echo "bench_bulk.sh: $tool is missing (Debian packages snmpd, snmp)" >&2; exit 2; }
done
BIN=$BIN ROUNDS=${2:-7} ROOT=$ROOT BENCH_CORE=$CORE exec "${PIN[@]}" /usr/bin/python3 - <<'EOF_PY'
import os, re, shutil, signal, statistics, subprocess, sys, tempfile, threading, time
sys.path.insert(0, os.path.join(os.environ["ROOT"], "tests", "e2e"))
import peers

BIN, ROUNDS = os.environ["BIN"], int(os.environ["ROUNDS"])
USER, AUTH, PRIV = "benchuser", "benchpass123", "benchpriv123"
ROWS = 48                        # three columns of 48 rows: 144 values
WALK_LIMIT_S = 300               # a walker that takes longer is taken for hung

# Peers are stopped on SIGTERM too: the cleanup below runs on SystemExit.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))


class Failure(Exception):
    pass


folder = tempfile.mkdtemp(prefix="vantor-bench-bulk-")
env = peers.peer_environment(folder)
snmpd = peers.Snmpd(folder, "createUser %s SHA-256 %s AES %s\nrouser %s priv\n" % (USER, AUTH, PRIV, USER))
agent_process = None
running = None                   # the walker or poller of the moment, ended with the peers


def start_test_agent():
    # Without --log: the agent would format 144 names per poll into its log,
    # work a real agent does not do, and the poll would pay for it.
    process = subprocess.Popen([os.path.join(BIN, "snmp-test-agent"), "--port", "0", "--rows", str(ROWS)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("port "):
        process.kill()
        process.wait()
        raise Failure("snmp-test-agent did not start: %r" % line)
    return process, int(line.split()[1])


# The walk script as a user writes it: a get fixes the agent and the first
# name, then snmpgetnext until the name stops changing (endOfMibView leaves
# it as it was) or comes back empty. Every variable is written out, as
# snmpbulkwalk writes it, so both walkers do the same work.
WALK_LUA = r'''
local port, community = tonumber(arg[1]), arg[2]
vantor.on_message(function(id, text) io.stderr:write("message ", id, ": ", text, "\n") end)
local out = io.stdout
local count = 0
local value = snmpgetEx("127.0.0.1", port, 0, community, "1.3.6.1.2.1.1.1.0")
local name = snmpobjid()
while name ~= "" do
  out:write(name, " = ", tostring(value), "\n")
  count = count + 1
  value = snmpgetnext()
  local next_name = snmpobjid()
  if next_name == name then break end
  name = next_name
end
io.stderr:write("walked ", count, "\n")
'''

# The poll: the 144 names listed once, then per round one snmpgetvarsEx and
# the 144 values read with snmpvar(k). Without snmpaddvar (a module that
# does not list variables yet) the same values come from 144 snmpgetEx calls.
# The first round checks every value and name; the others only count.
POLL_LUA = r'''
local port, community, mode, count = tonumber(arg[1]), arg[2], arg[3], tonumber(arg[4])
local rows = %d
vantor.on_message(function(id, text) io.stderr:write("message ", id, ": ", text, "\n") end)
local function fail(text) io.stderr:write(text, "\n") os.exit(1) end
local names, expected = {}, {}
for column = 1, 3 do
  for row = 1, rows do
    names[#names + 1] = "1.3.6.1.4.1.99999.2.1." .. column .. "." .. row
    expected[#expected + 1] = column == 1 and row or column == 2 and ("row " .. row) or row * 1000
  end
end
local function check(k, value, name)
  if value ~= expected[k] or name ~= names[k] then
    fail(string.format("value %%d: %%s = %%s, expected %%s = %%s", k, name, tostring(value), names[k], tostring(expected[k])))
  end
end
if mode == "get" then
  for round = 1, count do
    local value = snmpgetEx("127.0.0.1", port, 0, community, names[1], 1000, 2)
    if round == 1 then check(1, value, snmpobjid()) elseif value == nil then fail("get failed") end
  end
elseif snmpaddvar then
  if snmpclearvars then snmpclearvars() end
  for k = 1, #names do
    if snmpaddvar(names[k]) ~= k then fail("snmpaddvar did not return the list's length " .. k) end
  end
  for round = 1, count do
    local got = snmpgetvarsEx("127.0.0.1", port, 0, community, 1000, 2)
    if got ~= #names then fail("snmpgetvarsEx: " .. tostring(got) .. " values of " .. #names) end
    if round == 1 then
      for k = 1, #names do check(k, snmpvar(k), snmpobjid()) end
    else
      for k = 1, #names do if snmpvar(k) == nil then fail("snmpvar(" .. k .. ") is nil") end end
    end
  end
else
  for round = 1, count do
    for k = 1, #names do
      local value = snmpgetEx("127.0.0.1", port, 0, community, names[k], 1000, 2)
      if round == 1 then check(k, value, snmpobjid()) elseif value == nil then fail("get failed") end
    end
  end
end
''' % ROWS


def measured(command, extra_env=None):
    """Runs a command to its end: wall time, its own CPU (user + system),
    standard output and error. A failure or a hang is a Failure."""
    global running
    start = time.perf_counter()
    process = subprocess.Popen(command, env=dict(env, **(extra_env or {})), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    running = process
    timer = threading.Timer(WALK_LIMIT_S, process.kill)
    timer.daemon = True
    timer.start()
    # The pipes are read on two threads so neither can fill and stall it.
    err = []
    reader = threading.Thread(target=lambda: err.append(process.stderr.read()), daemon=True)
    reader.start()
    out = process.stdout.read()
    reader.join()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    running = None
    timer.cancel()
    code = os.waitstatus_to_exitcode(status)
    text = err[0].decode(errors="replace")
    if code != 0:
        raise Failure("%s failed (exit status %d): %s" % (" ".join(command[:3]), code, text[-600:]))
    if "message 11" in text:  # 1127/1128/1129: a request of the walk or poll failed
        raise Failure("%s reported: %s" % (" ".join(command[:3]), text[-600:]))
    return wall, usage.ru_utime + usage.ru_stime, out, text


# Names of a walk's output. The runner writes "1.3.6... = value", snmpbulkwalk
# -On -Oq ".1.3.6... value"; its closing line after endOfMibView repeats the
# last name and is no variable.
RUNNER_NAME = re.compile(rb"^(1(?:\.\d+)+) = ", re.M)
TOOL_NAME = re.compile(rb"^\.(1(?:\.\d+)+)(?: |$)", re.M)


def walked_names(walker, out, err):
    if walker == "runner":
        names = [m.decode() for m in RUNNER_NAME.findall(out)]
        said = int(err.split("walked ")[-1].split()[0])
        if said != len(names):
            raise Failure("the runner walked %d variables but %d names were read from its output" % (said, len(names)))
        return names
    lines = [m for m in TOOL_NAME.finditer(out)]
    names = [m.group(1).decode() for m in lines]
    if names and out[lines[-1].start():].find(b"No more variables left in this MIB View") >= 0:
        names.pop()
    return names


# Tables the agent changes by itself between two walks: TCP connections and
# listeners, UDP endpoints (each walker's own socket is one), storage,
# running processes (each walker is one), neighbour caches.
CHURNING = ("1.3.6.1.2.1.6.13.", "1.3.6.1.2.1.6.19.", "1.3.6.1.2.1.6.20.", "1.3.6.1.2.1.7.5.",
            "1.3.6.1.2.1.7.7.", "1.3.6.1.2.1.25.2.", "1.3.6.1.2.1.25.4.", "1.3.6.1.2.1.25.5.",
            "1.3.6.1.2.1.4.22.", "1.3.6.1.2.1.4.35.")


def oid_key(name):
    return tuple(int(x) for x in name.split("."))


def order_faults(names):
    keys = [oid_key(n) for n in names]
    return sum(1 for a, b in zip(keys, keys[1:]) if not a < b)


def compare_names(mine, theirs):
    """(differences outside the churning tables, inside them); a difference
    is a name one list has and the other lacks."""
    a, b = set(mine), set(theirs)
    differing = sorted(a ^ b, key=oid_key)
    churn = [n for n in differing if n.startswith(CHURNING)]
    real = [("runner only " if n in a else "snmpbulkwalk only ") + n for n in differing if not n.startswith(CHURNING)]
    return real, churn


# Datagrams a command sends, in one run: its sendto/sendmsg/sendmmsg calls
# under strace, by destination port, and the "Sending N bytes" lines of its
# own datagram dump; the two must agree.
SEND = re.compile(r"\b(sendto|sendmsg|sendmmsg)\(")


def count_sends(command, port):
    dumping = command[:1] + ["-d"] + command[1:] if command[0] == "snmpbulkwalk" else command
    if not have_strace:
        _, _, out, err = measured(dumping, {"VANTOR_DUMP": "1"})
        return None, 0, len(re.findall(r"^Sending \d+ bytes", err, re.M)), out, err
    trace = os.path.join(folder, "sends.strace")
    _, _, out, err = measured(["strace", "-f", "-qq", "-e", "signal=none", "-e", "trace=sendto,sendmsg,sendmmsg",
                             "-s", "0", "-o", trace] + dumping, {"VANTOR_DUMP": "1"})
    to_peer = elsewhere = 0
    pending = {}
    for line in open(trace, errors="replace"):
        pid, _, call = line.strip().partition(" ")
        call = call.strip()
        if call.endswith("<unfinished ...>"):
            pending[pid] = call[:-len("<unfinished ...>")]
            continue
        if call.startswith("<..."):
            call = pending.pop(pid, "") + call.split(">", 1)[1]
        match = SEND.search(call)
        result = re.search(r"= (-?\d+)", call)
        if not match or not result or int(result.group(1)) < 0:
            continue
        sent = int(result.group(1)) if match.group(1) == "sendmmsg" else 1
        destination = re.search(r"sin6?_port=htons\((\d+)\)", call)
        if destination is None or int(destination.group(1)) == port:
            to_peer += sent  # no address: a connected socket, the walker's own
        else:
            elsewhere += sent
    return to_peer, elsewhere, len(re.findall(r"^Sending \d+ bytes", err, re.M)), out, err


def median(values):
    return statistics.median(values)


def verdict(ok):
    return "met" if ok else "NOT met"


status = 0
try:
    snmpd.start()
    agent_process, agent_port = start_test_agent()
    port = snmpd.port
    walk_script = os.path.join(folder, "walk.lua")
    poll_script = os.path.join(folder, "poll.lua")
    with open(walk_script, "w") as f:
        f.write(WALK_LUA)
    with open(poll_script, "w") as f:
        f.write(POLL_LUA)
    runner = [os.path.join(BIN, "vantor-lua")]
    v3_community = "#%s/SHA-256:%s/AES:%s" % (USER, AUTH, PRIV)
    tool = ["snmpbulkwalk", "-Cr10", "-On", "-Oq", "-m", "", "-M", "/nonexistent"]
    tool_v2c = tool + ["-v2c", "-c", "public", "127.0.0.1:%d" % port, ".1"]
    tool_v3 = tool + ["-v3", "-l", "authPriv", "-u", USER, "-a", "SHA-256", "-A", AUTH, "-x", "AES", "-X", PRIV,
                      "127.0.0.1:%d" % port, ".1"]

    # Does this module list variables yet? Without it the poll falls back.
    listing = subprocess.run(runner + ["-e", "os.exit(snmpaddvar and snmpgetvarsEx and snmpvar and 0 or 3)"],
                             env=env, stdin=subprocess.DEVNULL).returncode == 0
    polls = int(os.environ.get("BULK_POLLS", "1000" if listing else "50"))
    gets = int(os.environ.get("BULK_GETS", "5000"))
    poll = runner + [poll_script, str(agent_port), "+public"]
    walks = {
        "v2c runner": runner + [walk_script, str(port), "+public"],
        "v2c snmpbulkwalk": tool_v2c,
        "v3 runner": runner + [walk_script, str(port), v3_community],
        "v3 snmpbulkwalk": tool_v3,
    }
    loops = {
        "poll x%d" % polls: poll + ["poll", str(polls)],
        "poll x1": poll + ["poll", "1"],
        "get x%d" % gets: poll + ["get", str(gets)],
        "get x1": poll + ["get", "1"],
    }
    commands = dict(walks, **loops)

    # Warm-up: page cache, the agent's caches, its first SNMPv3 keys.
    for command in commands.values():
        measured(command)

    timings = {name: [] for name in commands}
    names = {name: [] for name in walks}
    order = list(commands)
    for round_ in range(ROUNDS):
        for name in (order if round_ % 2 == 0 else order[::-1]):
            wall, cpu, out, err = measured(commands[name])
            timings[name].append((wall, cpu))
            if name in walks:
                names[name].append(walked_names(name.split()[1], out, err))

    # Names: every runner walk against every snmpbulkwalk walk of its round.
    name_report = []
    for version in ("v2c", "v3"):
        worst_real, churn_counts, faults, counts = [], [], 0, set()
        for mine, theirs in zip(names[version + " runner"], names[version + " snmpbulkwalk"]):
            real, churn = compare_names(mine, theirs)
            faults += order_faults(mine)
            counts.add((len(mine), len(theirs)))
            churn_counts.append(len(churn))
            if len(real) > len(worst_real):
                worst_real = real
        name_report.append((version, worst_real, max(churn_counts), faults, counts))

    # Datagrams, counted in runs of their own.
    counting_polls = 20
    have_strace = shutil.which("strace") is not None
    sends, counted_walks = {}, {}
    for name, command in walks.items():
        *sends[name], out, err = count_sends(command, port)
        counted_walks[name] = len(walked_names(name.split()[1], out, err))
    sends["poll"] = count_sends(poll + ["poll", str(counting_polls)], agent_port)[:3]
    sends["get"] = count_sends(poll + ["get", str(counting_polls)], agent_port)[:3]

    # The test agent's table never changes: the v2c walks of it must list
    # exactly the same names.
    static_mine = walked_names("runner", *measured(runner + [walk_script, str(agent_port), "+public"])[2:])
    static_theirs = walked_names("tool", measured(tool + ["-v2c", "-c", "public", "127.0.0.1:%d" % agent_port, ".1"])[2], "")
except (Failure, RuntimeError) as failure:
    print("bench_bulk.sh: FAILED: %s" % failure, file=sys.stderr)
    sys.exit(1)
finally:
    if running is not None:
        running.kill()
    if agent_process is not None and agent_process.poll() is None:
        agent_process.terminate()
        agent_process.wait()
    snmpd.stop()
    shutil.rmtree(folder, ignore_errors=True)

core = os.environ.get("BENCH_CORE", "none")
print("bulk walks and many variables per request, %d rounds interleaved, %s; medians"
      % (ROUNDS, "unpinned" if core == "none" else "peers and callers pinned to core " + core))


def datagrams(name):
    traced, _, dumped = sends[name]
    return dumped if traced is None else traced


for number, version, label in ((1, "v2c", "SNMPv2c, community +public / -c public"),
                               (2, "v3", "SNMPv3 authPriv SHA-256/AES")):
    print("%d. walk of the whole private snmpd, %s" % (number, label))
    print("   (datagrams: a counting run of each, apart from the timed ones)")
    print("   %-18s %9s %9s %9s %10s %9s" % ("walker", "variables", "wall s", "CPU s", "datagrams", "vars/dgram"))
    figures = {}
    for walker in ("runner", "snmpbulkwalk"):
        name = "%s %s" % (version, walker)
        count = int(median([len(n) for n in names[name]]))
        wall = median([t[0] for t in timings[name]])
        cpu = median([t[1] for t in timings[name]])
        sent = datagrams(name)
        figures[walker] = (wall, cpu, sent)
        print("   %-18s %9d %9.3f %9.3f %10d %9.1f" % (walker if walker == "runner" else walker + " -Cr10",
                                                      count, wall, cpu, sent, counted_walks[name] / max(sent, 1)))
    wall_ratio = figures["runner"][0] / figures["snmpbulkwalk"][0]
    cpu_ratio = figures["runner"][1] / figures["snmpbulkwalk"][1]
    print("   wall ratio runner/snmpbulkwalk %.2f (goal <= 1.0): %s" % (wall_ratio, verdict(wall_ratio <= 1.0)))
    if version == "v2c":
        print("   CPU  ratio runner/snmpbulkwalk %.2f (goal <= 0.8): %s" % (cpu_ratio, verdict(cpu_ratio <= 0.8)))
        print("   datagrams sent %d against %d (goal: not more): %s" % (
            figures["runner"][2], figures["snmpbulkwalk"][2], verdict(figures["runner"][2] <= figures["snmpbulkwalk"][2])))
    else:
        print("   CPU  ratio runner/snmpbulkwalk %.2f; datagrams sent %d against %d" % (
            cpu_ratio, figures["runner"][2], figures["snmpbulkwalk"][2]))
    _, real, churn, faults, counts = next(r for r in name_report if r[0] == version)
    if real or faults:
        status = 1
        print("   NAMES DIFFER (goal: the same names): NOT met: %d names outside the churning tables, "
              "%d out of order in the runner's walks" % (len(real), faults))
        for line in real[:20]:
            print("     " + line)
    else:
        print("   names: the same in every round (goal: the same names): met; at most %d differed inside the "
              "tables that change by themselves (sockets, processes, storage)" % churn)
    if figures["runner"][2] >= counted_walks[version + " runner"]:
        print("   (the runner sent a request per variable: a GetNext walk, no read-ahead in this module)")

print("3. %d values (3 columns x %d rows of the test agent), community +public" % (3 * ROWS, ROWS))


def per_operation(kind, count, index):
    loop = median([t[index] for t in timings["%s x%d" % (kind, count)]])
    one = median([t[index] for t in timings["%s x1" % kind]])
    return (loop - one) / (count - 1) * 1e6


poll_wall, get_wall = per_operation("poll", polls, 0), per_operation("get", gets, 0)
poll_cpu, get_cpu = per_operation("poll", polls, 1), per_operation("get", gets, 1)
poll_sent, get_sent = datagrams("poll") / counting_polls, datagrams("get") / counting_polls
form = ("one snmpgetvarsEx and %d snmpvar(k)" % (3 * ROWS) if listing
        else "%d snmpgetEx: no snmpaddvar in this module, the fallback" % (3 * ROWS))
print("   per operation: a loop in one runner process, a process of one operation subtracted")
print("   %-36s %9s %9s %10s" % ("operation", "wall us", "CPU us", "datagrams"))
print("   %-36s %9.1f %9.1f %10.2f" % ("poll of %d values (loop of %d)" % (3 * ROWS, polls), poll_wall, poll_cpu, poll_sent))
print("   %-36s %9.1f %9.1f %10.2f" % ("get of one variable (loop of %d)" % gets, get_wall, get_cpu, get_sent))
print("   the poll: " + form)
ratio = poll_wall / get_wall
if listing:
    print("   poll / get wall %.2f (goal <= 1.5): %s" % (ratio, verdict(ratio <= 1.5)))
else:
    print("   poll / get wall %.2f (goal <= 1.5 for the listed form; this is the fallback: not judged)" % ratio)

disagreeing = [(name, traced, elsewhere, dumped) for name, (traced, elsewhere, dumped) in sends.items()
               if traced is not None and (traced != dumped or elsewhere)]
if not have_strace:
    print("datagrams counted from the walkers' own dumps (VANTOR_DUMP=1, snmpbulkwalk -d); no strace here")
elif not disagreeing:
    print("datagrams counted under strace (sendto, sendmsg, sendmmsg to the agent); the walkers' own dumps "
          "of the same runs (VANTOR_DUMP=1, snmpbulkwalk -d) agree")
for name, traced, elsewhere, dumped in disagreeing:
    print("WARNING: datagrams of %s: strace counted %d to the agent and %d elsewhere, its dump %d"
          % (name, traced, elsewhere, dumped))
if static_mine != static_theirs:
    status = 1
    real, _ = compare_names(static_mine, static_theirs)
    print("NAMES DIFFER on the test agent's fixed table, walked over SNMPv2c: NOT met (%d against %d names; first: %s)"
          % (len(static_mine), len(static_theirs), real[:3] or "the same set, another order"))
else:
    print("names of the test agent's fixed table (%d variables) walked over SNMPv2c: exactly the same" % len(static_mine))
for version in ("v2c", "v3"):
    counts = next(r for r in name_report if r[0] == version)[4]
    print("%s variables per round (runner, snmpbulkwalk): %s" % (version, " ".join("%d/%d" % c for c in sorted(counts))))
for name in commands:
    print("%-18s rounds (wall/CPU s): %s" % (name, "  ".join("%.3f/%.3f" % t for t in timings[name])))
sys.exit(status)
EOF_PY
