#!/usr/bin/python3
"""Checks snmp-test-agent from outside with Net-SNMP's command-line tools.

    net_snmp_check.py AGENT_BINARY CASE

Each case starts the agent on a free loopback port (port 0: it prints the one
it got), talks to it with snmpget / snmpwalk / snmpbulkwalk / snmpset, and
stops it. Exit status 0 when every check of the case held.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

LOOPBACK = "127.0.0.1"
ENTERPRISE = ".1.3.6.1.4.1.99999"
TYPES = ENTERPRISE + ".1"
ROWS = ENTERPRISE + ".2"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Agent:
    def __init__(self, binary, folder, *args):
        self.folder = folder
        self.log = os.path.join(folder, "agent-%d.log" % time.monotonic_ns())
        self.process = subprocess.Popen([binary, "--port", "0", "--log", self.log] + list(args),
                                        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        match = re.fullmatch(r"port (\d+)\n", line)
        if not match:
            self.process.kill()
            raise Failure("agent did not announce its port: %r" % line)
        self.port = int(match.group(1))
        self.target = "%s:%d" % (LOOPBACK, self.port)

    def stop(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            status = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure("agent did not end after signal %d" % sig)
        check(status == 0, "agent exit status %d after signal %d" % (status, sig))

    def log_lines(self, at_least=0):
        # The agent logs a request after its replies have gone out, so the
        # client may see the answer a moment before the line is written.
        deadline = time.monotonic() + 5
        while True:
            with open(self.log) as f:
                lines = [line.rstrip("\n") for line in f]
            if len(lines) >= at_least or time.monotonic() > deadline:
                return lines
            time.sleep(0.01)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def tool(folder, name, *args, timeout=3, retries=0):
    env = dict(os.environ)
    env["MIBS"] = ""
    env["SNMPCONFPATH"] = folder  # keeps the user's and the system's snmp.conf out
    env["SNMP_PERSISTENT_DIR"] = folder
    command = [name, "-m", "", "-On", "-t", str(timeout), "-r", str(retries)] + list(args)
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            timeout=120)
    # Standard error only when the tool failed (the error status it reports):
    # otherwise it holds diagnostics such as "Created directory: ...".
    if result.returncode != 0:
        return result.returncode, result.stdout + result.stderr
    return result.returncode, result.stdout


def values(output):
    """name -> value text of the "NAME = VALUE" lines (the first line of a
    name: a walk's closing endOfMibView line repeats the last name)."""
    out = {}
    for line in output.splitlines():
        if " = " in line:
            name, value = line.split(" = ", 1)
            out.setdefault(name, value)
    return out


# ---- cases --------------------------------------------------------------------

def case_get(binary, folder):
    with Agent(binary, folder) as agent:
        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, ".1.3.6.1.2.1.1.1.0",
                           ".1.3.6.1.2.1.1.5.0")
        check(status == 0, "v1 get failed: " + out)
        got = values(out)
        check(got.get(".1.3.6.1.2.1.1.1.0") == 'STRING: "Vantor SNMP test agent"', out)
        check(got.get(".1.3.6.1.2.1.1.5.0") == 'STRING: "test-agent"', out)

        expected = {
            ".1.0": "INTEGER: -42",
            ".2.0": 'STRING: "Hello, world"',
            ".3.0": "Hex-STRING: 00 01 7F 80 FE FF",
            ".4.0": "NULL",
            ".5.0": "OID: .1.3.6.1.4.1.99999.42.7",
            ".6.0": "IpAddress: 192.0.2.1",
            ".7.0": "Counter32: 4294967295",
            ".8.0": "Gauge32: 1000000",
            ".9.0": "Timeticks: (8640000) 1 day, 0:00:00.00",
            ".11.0": "Counter64: 4294967301",
            ".12.0": "3000000000",
            ".15.0": "INTEGER: 2147483647",
            ".16.0": "Counter64: 18446744073709551615",
        }
        names = [TYPES + suffix for suffix in expected]
        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, *names)
        check(status == 0, "v2c get failed: " + out)
        got = values(out)
        for suffix, value in expected.items():
            check(got.get(TYPES + suffix, "").strip() == value,
                  "%s: expected %r, got %r" % (suffix, value, got.get(TYPES + suffix)))

        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, TYPES + ".10.0")
        check(status == 0 and "Opaque:" in out, "opaque: " + out)

        # SNMPv1 has no Counter64.
        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, TYPES + ".11.0")
        check(status != 0 and "noSuchName" in out, "v1 Counter64: " + out)

        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, TYPES + ".99.0")
        check(status != 0 and "noSuchName" in out and "Failed object: " + TYPES + ".99.0" in out, out)

        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, TYPES + ".99.0",
                           TYPES + ".1.1")
        got = values(out)
        check("No Such Object" in got.get(TYPES + ".99.0", ""), out)
        check("No Such Instance" in got.get(TYPES + ".1.1", ""), out)
        agent.stop()


def case_walk(binary, folder):
    rows = 300
    with Agent(binary, folder, "--rows", str(rows)) as agent:
        expected = []
        for column in (1, 2, 3):
            for row in range(1, rows + 1):
                value = {1: "INTEGER: %d" % row, 2: 'STRING: "row %d"' % row, 3: "Counter32: %d" % (row * 1000)}
                expected.append((ROWS + ".1.%d.%d" % (column, row), value[column]))

        for version in ("-v1", "-v2c"):
            status, out = tool(folder, "snmpwalk", version, "-c", "public", agent.target, ROWS)
            check(status == 0, "walk %s failed: %s" % (version, out[-500:]))
            lines = [line for line in out.splitlines() if line.startswith(ROWS)]
            walked = [tuple(line.split(" = ", 1)) for line in lines]
            if version == "-v2c":
                # The table ends here: Net-SNMP shows the endOfMibView it got.
                check(walked and "No more variables left in this MIB View" in walked[-1][1], out[-300:])
                walked = walked[:-1]
            check(walked == expected, "walk %s: %d rows, first difference at %s" % (
                version, len(walked), next((i for i, (a, b) in enumerate(zip(walked, expected)) if a != b),
                                           min(len(walked), len(expected)))))

        status, out = tool(folder, "snmpbulkwalk", "-v2c", "-c", "public", agent.target, ROWS)
        check(status == 0, "bulk walk failed")
        bulk = [tuple(line.split(" = ", 1)) for line in out.splitlines() if line.startswith(ROWS)]
        check(bulk[:len(expected)] == expected, "bulk walk differs")

        # The whole agent: SNMPv1 ends with noSuchName ("End of MIB") and never
        # sees a Counter64; SNMPv2c sees both of them.
        status, out = tool(folder, "snmpwalk", "-v1", "-c", "public", agent.target, ".1")
        check(status == 0 and out.rstrip().endswith("End of MIB"), "v1 walk of everything: " + out[-300:])
        check("Counter64" not in out, "Counter64 in a v1 walk")
        v1_count = out.count(" = ")
        status, out = tool(folder, "snmpwalk", "-v2c", "-c", "public", agent.target, ".1")
        check(status == 0, "v2c walk of everything failed")
        check(out.count("Counter64:") == 2, "v2c walk should show both Counter64 variables")
        # Two Counter64 more, and the endOfMibView line.
        check(out.count(" = ") == v1_count + 2 + 1, "v2c walk: %d values, v1 %d" % (out.count(" = "), v1_count))

        answered = [line for line in agent.log_lines() if "action=answered" in line]
        check(len(answered) == len(agent.log_lines()), "every request answered")
        agent.stop()


def case_set(binary, folder):
    with Agent(binary, folder, "--community", "public", "--community", "private") as agent:
        status, out = tool(folder, "snmpset", "-v1", "-c", "private", agent.target,
                           TYPES + ".1.0", "i", "12345", TYPES + ".2.0", "s", "written by snmpset",
                           TYPES + ".5.0", "o", ".1.3.6.1.2.1.1", TYPES + ".6.0", "a", "10.1.2.3")
        check(status == 0, "v1 set failed: " + out)
        status, out = tool(folder, "snmpset", "-v2c", "-c", "private", agent.target,
                           TYPES + ".8.0", "u", "18", TYPES + ".9.0", "t", "19", TYPES + ".3.0", "x", "DEADBEEF")
        check(status == 0, "v2c set failed: " + out)
        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, *[
            TYPES + ".%d.0" % n for n in (1, 2, 5, 6, 8, 9, 3)])
        got = values(out)
        expected = {".1.0": "INTEGER: 12345", ".2.0": 'STRING: "written by snmpset"', ".5.0": "OID: .1.3.6.1.2.1.1",
                    ".6.0": "IpAddress: 10.1.2.3", ".8.0": "Gauge32: 18",
                    ".9.0": "Timeticks: (19) 0:00:00.19", ".3.0": "Hex-STRING: DE AD BE EF"}
        for suffix, value in expected.items():
            check(got.get(TYPES + suffix, "").strip() == value, "%s: %r" % (suffix, got.get(TYPES + suffix)))

        # A set with the request's type: an INTEGER variable becomes a string.
        status, out = tool(folder, "snmpset", "-v1", "-c", "private", agent.target, TYPES + ".1.0", "s", "now text")
        check(status == 0, out)
        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, TYPES + ".1.0")
        check('STRING: "now text"' in out, out)

        status, out = tool(folder, "snmpset", "-v2c", "-c", "private", agent.target, TYPES + ".77.0", "i", "1")
        check(status != 0 and "noCreation" in out, "set of a missing name: " + out)
        status, out = tool(folder, "snmpset", "-v1", "-c", "private", agent.target, TYPES + ".77.0", "i", "1")
        check(status != 0 and "noSuchName" in out, "v1 set of a missing name: " + out)

        set_lines = [line for line in agent.log_lines() if "command=set" in line]
        check(any(TYPES[1:] + '.2.0=string:"written\\x20by\\x20snmpset"' in line for line in set_lines),
              "the log shows the set value: %s" % set_lines[:1])
        check(any(TYPES[1:] + ".6.0=ipaddress:10.1.2.3" in line for line in set_lines), "ip in the log")
        agent.stop()

    with Agent(binary, folder, "--readonly") as agent:
        status, out = tool(folder, "snmpset", "-v1", "-c", "public", agent.target, TYPES + ".1.0", "i", "1")
        check(status != 0 and "readOnly" in out, "read-only v1: " + out)
        status, out = tool(folder, "snmpset", "-v2c", "-c", "public", agent.target, TYPES + ".1.0", "i", "1")
        check(status != 0 and "notWritable" in out, "read-only v2c: " + out)
        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, TYPES + ".1.0")
        check("INTEGER: -42" in out, "unchanged: " + out)
        agent.stop()


def case_community_and_drops(binary, folder):
    with Agent(binary, folder, "--community", "secret", "--drop-first", "1") as agent:
        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, ".1.3.6.1.2.1.1.5.0",
                           timeout=0.5)
        check(status != 0 and "Timeout" in out, "wrong community answered: " + out)
        # One retry: the first transmission is dropped, the second answered.
        status, out = tool(folder, "snmpget", "-v2c", "-c", "secret", agent.target, ".1.3.6.1.2.1.1.5.0",
                           timeout=1, retries=1)
        check(status == 0 and "test-agent" in out, "dropped then answered: " + out)
        lines = agent.log_lines(at_least=3)
        check(len(lines) == 3, "three datagrams logged: %s" % lines)
        check("community=public" in lines[0] and "action=bad-community" in lines[0], lines[0])
        first = re.search(r"port=(\d+) .* id=(-?\d+) action=dropped", lines[1])
        second = re.search(r"port=(\d+) .* id=(-?\d+) action=answered sent=1", lines[2])
        check(first and second, "dropped, answered: %s" % lines[1:])
        check(first.groups() == second.groups(), "the same request twice (port, id)")
        agent.stop(signal.SIGINT)


def case_misbehaviour(binary, folder):
    # Net-SNMP skips a reply with another id and one that does not decode,
    # and takes the first right one.
    with Agent(binary, folder, "--wrong-id-first", "--mangle-first", "length", "--duplicate",
               "--previous-reply-first", "--delay", "100") as agent:
        for name, text in ((".1.3.6.1.2.1.1.5.0", "test-agent"), (".1.3.6.1.2.1.1.6.0", "loopback")):
            status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, name)
            check(status == 0 and text in out, "misbehaving agent: " + out)
        sent = [re.search(r"sent=(\d+)", line).group(1) for line in agent.log_lines(at_least=2)]
        check(sent == ["4", "5"], "datagrams per request: %s" % sent)
        agent.stop()

    with Agent(binary, folder, "--error-status", "5", "--misbehave-count", "1") as agent:
        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, ".1.3.6.1.2.1.1.5.0")
        check(status != 0 and "genErr" in out, "error status 5: " + out)
        status, out = tool(folder, "snmpget", "-v1", "-c", "public", agent.target, ".1.3.6.1.2.1.1.5.0")
        check(status == 0 and "test-agent" in out, "second request normal: " + out)
        agent.stop()

    with Agent(binary, folder, "--extra-after", "2") as agent:
        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, ".1.3.6.1.2.1.1.5.0")
        got = values(out)
        check(status == 0 and list(got)[:1] == [".1.3.6.1.2.1.1.5.0"] and len(got) == 3,
              "extra bindings after the requested one: " + out)
        agent.stop()


def case_table_and_limits(binary, folder):
    table = os.path.join(folder, "table.txt")
    with open(table, "w") as f:
        f.write("# a small table\n")
        f.write("1.3.6.1.2.1.1.1.0 string from a table file\n")
        f.write(".1.3.6.1.4.1.99999.9.1.0 counter64 1,0\n")
        f.write("1.3.6.1.4.1.99999.9.2.0 hex 0x00ff\n")
        f.write("1.3.6.1.4.1.99999.9.3.0 0x42 77\n")
    with Agent(binary, folder, "--table", table, "--max-requests", "5") as agent:
        # Four variables and the request that finds the end: five requests.
        status, out = tool(folder, "snmpwalk", "-v2c", "-c", "public", agent.target, ".1")
        check(status == 0, "walk of a table file (status %d): %s" % (status, out))
        got = values(out)
        check(got.get(".1.3.6.1.2.1.1.1.0") == 'STRING: "from a table file"', out)
        check(got.get(".1.3.6.1.4.1.99999.9.1.0") == "Counter64: 4294967296", out)
        check(got.get(".1.3.6.1.4.1.99999.9.2.0", "").strip() == "Hex-STRING: 00 FF", out)
        check(got.get(".1.3.6.1.4.1.99999.9.3.0") == "Gauge32: 77", out)
        check(agent.process.wait(timeout=10) == 0, "exit status after --max-requests")
        check(len(agent.log_lines()) == 5, "five requests logged")
        status, out = tool(folder, "snmpget", "-v2c", "-c", "public", agent.target, ".1.3.6.1.2.1.1.1.0",
                           timeout=0.3)
        check(status != 0 and "Timeout" in out, "the agent should have ended: " + out)

    # --dump-table output loads back as the same table.
    dump = subprocess.run([binary, "--dump-table", "--rows", "2"], stdout=subprocess.PIPE, text=True, check=True).stdout
    with open(table, "w") as f:
        f.write(dump)
    again = subprocess.run([binary, "--dump-table", "--table", table], stdout=subprocess.PIPE, text=True,
                           check=True).stdout
    check(again == dump, "dump, load and dump differ")

    bad = subprocess.run([binary, "--table", os.path.join(folder, "missing.txt")], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    check(bad.returncode == 1 and "cannot open" in bad.stderr, "missing table file: %r" % bad.stderr)
    usage = subprocess.run([binary, "--port", "70000"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    check(usage.returncode == 2 and "--port" in usage.stderr, "bad port: %r" % usage.stderr)
    outside = subprocess.run([binary, "--address", "192.0.2.1"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
    check(outside.returncode == 1 and "127.0.0.0/8" in outside.stderr, "non-loopback address: %r" % outside.stderr)

    started = time.monotonic()
    with Agent(binary, folder, "--exit-after-seconds", "0.3") as agent:
        check(agent.process.wait(timeout=10) == 0, "exit status after --exit-after-seconds")
    check(time.monotonic() - started >= 0.3, "ended too early")


def case_v3(binary, folder):
    # SNMPv3 users at each level and the refusals Net-SNMP names; then, for
    # the users who authenticate, forged replies it must skip for the genuine
    # one. Only the kinds Net-SNMP 5.9 tells apart: it takes a stale time in
    # the first authenticated reply after discovery as the agent's clock, and
    # at authNoPriv it reports a wrong digest yet shows that reply's value.
    users = ["carol", "bob:MD5:bobpass1234:DES:bobpriv1234", "alice:SHA-256:alicepass123:AES:alicepriv123",
             "erin:SHA-512:erinpass1234"]
    forgeries = ["--v3-forge=msgid", "--v3-forge=replay"]
    options = [option for user in users for option in ("--v3-user", user)] + ["--v3-time-offset", "5000"]
    alice = ["-u", "alice", "-a", "SHA-256", "-A", "alicepass123"]
    cases = [
        (["-l", "noAuthNoPriv", "-u", "carol"], 'STRING: "test-agent"', "answered"),
        (["-l", "authPriv", "-u", "bob", "-a", "MD5", "-A", "bobpass1234", "-x", "DES", "-X", "bobpriv1234"],
         'STRING: "test-agent"', "answered"),
        (["-l", "authPriv"] + alice + ["-x", "AES", "-X", "alicepriv123"], 'STRING: "test-agent"', "answered"),
        (["-l", "authNoPriv"] + alice, 'STRING: "test-agent"', "answered"),
        (["-l", "authNoPriv", "-u", "erin", "-a", "SHA-512", "-A", "erinpass1234"], 'STRING: "test-agent"',
         "answered"),
        (["-l", "authNoPriv", "-u", "alice", "-a", "SHA-256", "-A", "wrongpass123"], "Authentication failure",
         "wrong-digest"),
        (["-l", "noAuthNoPriv", "-u", "nobody"], "Unknown user name", "unknown-user"),
        (["-l", "authNoPriv", "-u", "carol", "-a", "SHA", "-A", "carolpass123"], "Unsupported security level",
         "unsupported-level"),
    ]
    for forging in (False, True):
        run = [c for c in cases if not forging or (c[2] == "answered" and "-a" in c[0])]
        with Agent(binary, folder, *(options + (forgeries if forging else []))) as agent:
            for i, (args, expected, action) in enumerate(run):
                status, out = tool(folder, "snmpget", "-v3", *args, agent.target, ".1.3.6.1.2.1.1.5.0")
                check(expected in out, "%s: %s" % (" ".join(args), out))
                # Each snmpget discovers first: its request is the second line.
                line = agent.log_lines(at_least=2 * (i + 1))[2 * i + 1]
                check("version=3" in line and "action=" + action in line, line)
                if forging:  # no reply to replay the first time
                    check("sent=%d" % (1 + len(forgeries) - (i == 0)) in line, line)
            agent.stop()


CASES = {
    "v3": case_v3,
    "get": case_get,
    "walk": case_walk,
    "set": case_set,
    "community_and_drops": case_community_and_drops,
    "misbehaviour": case_misbehaviour,
    "table_and_limits": case_table_and_limits,
}


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        print("usage: net_snmp_check.py AGENT_BINARY {%s}" % "|".join(CASES), file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory(prefix="vantor-agent-") as folder:
        try:
            CASES[sys.argv[2]](sys.argv[1], folder)
        except Failure as failure:
            print("FAILED: %s" % failure, file=sys.stderr)
            return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
