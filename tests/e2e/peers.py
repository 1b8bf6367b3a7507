#!/usr/bin/python3
"""Runs a command with Net-SNMP's agent and trap receiver on loopback.

    peers.py [--snmpd] [--snmptrapd [--snmptrapd-conf LINE]...] [--ipv6] [--agent "ARGS" --agent-bin PATH] [--keep-dir] -- COMMAND [ARG...]

Each peer listens on 127.0.0.1 at a free high port with a private configuration
in a temporary folder. The command sees in its environment:
  SNMPD_PORT       the agent's port (communities "public" read-only, "private" read-write)
  TRAPD_PORT       the trap receiver's port
  TRAPD_LOG        the receiver's log file
  MODULE_ENGINE_ID the module's SNMPv3 engine identifier here ({module_engine_id} in --snmptrapd-conf)
  SNMPD_PORT6      with --ipv6: the agent's port on ::1 too (the same communities
                   from ::1, and the SNMPv3 user "ipv6user", SHA "ipv6auth123",
                   AES "ipv6priv123", read-write)
  TRAPD_PORT6      with --ipv6: the receiver's port on ::1 too
  AGENT_PORT       the project's test agent's port (started with ARGS and --log AGENT_LOG)
  AGENT_LOG        its request log
  PEERS_DIR        the temporary folder
and, like the peers, SNMP_PERSISTENT_DIR and SNMPCONFPATH in that folder, so
Net-SNMP's tools it runs neither write under /var/lib/snmp nor read the
system's snmp.conf.
The peers are stopped when the command ends; the exit status is the command's.
"""
import argparse
import hashlib
import os
import socket
import subprocess
import sys
import tempfile
import time

LOOPBACK = "127.0.0.1"
LOOPBACK6 = "::1"


def module_engine_id():
    # As the module makes it: enterprise 0, format 5, the host name's MD5.
    return "8000000005" + hashlib.md5(socket.gethostname().encode()).hexdigest()


def free_udp_port(family=socket.AF_INET):
    with socket.socket(family, socket.SOCK_DGRAM) as s:
        s.bind((LOOPBACK if family == socket.AF_INET else LOOPBACK6, 0))
        return s.getsockname()[1]


def peer_environment(folder):
    env = dict(os.environ)
    env["MIBS"] = ""
    # A folder of its own: snmpd and snmptrapd save their state as snmpd.conf
    # and snmptrapd.conf there, which would overwrite the configurations here.
    env["SNMP_PERSISTENT_DIR"] = os.path.join(folder, "persistent")  # not /var/lib/snmp
    env["SNMPCONFPATH"] = folder
    return env


class Peer:
    def __init__(self, name, folder):
        self.name = name
        self.folder = folder
        self.process = None
        self.port = free_udp_port()
        self.port6 = None  # a port on ::1 too, when set before the start
        self.log = os.path.join(folder, name + ".log")

    def endpoints(self):
        endpoints = "udp:%s:%d" % (LOOPBACK, self.port)
        return endpoints + (",udp6:[%s]:%d" % (LOOPBACK6, self.port6) if self.port6 else "")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Snmpd(Peer):
    def __init__(self, folder, extra_conf=""):
        super().__init__("snmpd", folder)
        self.conf = os.path.join(folder, "snmpd.conf")
        with open(self.conf, "w") as f:
            f.write("rocommunity public 127.0.0.1\n")
            f.write("rwcommunity private 127.0.0.1\n")
            f.write("dontLogTCPWrappersConnects yes\n")
            f.write(extra_conf)

    def start(self):
        self.process = subprocess.Popen(
            ["snmpd", "-f", "-Lf", self.log, "-C", "-c", self.conf, "-M", "/nonexistent",
             "-p", os.path.join(self.folder, "snmpd.pid"), self.endpoints()],
            env=peer_environment(self.folder), stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("snmpd ended at start; see " + self.log)
            probe = subprocess.run(
                ["snmpget", "-v1", "-c", "public", "-m", "", "-t", "0.2", "-r", "0",
                 "%s:%d" % (LOOPBACK, self.port), "1.3.6.1.2.1.1.1.0"],
                env=peer_environment(self.folder), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if probe.returncode == 0:
                return
            time.sleep(0.1)
        raise RuntimeError("snmpd did not answer in time")


class Snmptrapd(Peer):
    def __init__(self, folder, extra_conf=""):
        super().__init__("snmptrapd", folder)
        self.conf = os.path.join(folder, "snmptrapd.conf")
        with open(self.conf, "w") as f:
            f.write("disableAuthorization yes\n")
            f.write(extra_conf.replace("{module_engine_id}", "0x" + module_engine_id()))

    def start(self):
        self.process = subprocess.Popen(
            ["snmptrapd", "-f", "-Lf", self.log, "-C", "-c", self.conf, "-M", "/nonexistent", "-m", "",
             "-On", "-p", os.path.join(self.folder, "snmptrapd.pid"), self.endpoints()],
            env=peer_environment(self.folder), stdin=subprocess.DEVNULL)
        # It writes its version line once the port is open.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("snmptrapd ended at start; see " + self.log)
            if os.path.exists(self.log) and "NET-SNMP version" in open(self.log).read():
                return
            time.sleep(0.05)
        raise RuntimeError("snmptrapd did not start in time")


class TestAgent(Peer):
    """The project's own agent (snmp-test-agent); it tells its port once listening."""

    def __init__(self, folder, binary, arguments):
        super().__init__("agent", folder)
        self.binary = binary
        self.arguments = arguments

    def start(self):
        import shlex
        self.process = subprocess.Popen(
            [self.binary, "--port", "0", "--log", self.log] + shlex.split(self.arguments),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("port "):
            self.stop()
            raise RuntimeError("snmp-test-agent did not start: %r" % line)
        self.port = int(line.split()[1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--snmpd", action="store_true")
    parser.add_argument("--snmpd-conf", metavar="LINE", action="append", default=[],
                        help="a further line of snmpd's configuration (createUser, rouser, ...)")
    parser.add_argument("--snmptrapd", action="store_true")
    parser.add_argument("--snmptrapd-conf", metavar="LINE", action="append", default=[],
                        help="a further line of snmptrapd's configuration (createUser, ...)")
    parser.add_argument("--ipv6", action="store_true", help="the peers listen on ::1 too")
    parser.add_argument("--keep-dir", action="store_true")
    parser.add_argument("--agent", metavar="ARGS", help="start snmp-test-agent with these arguments")
    parser.add_argument("--agent-bin", default=os.environ.get("VANTOR_AGENT_BIN", "snmp-test-agent"))
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    folder = tempfile.mkdtemp(prefix="vantor-peers-")
    peers = []
    env = peer_environment(folder)  # the command's tools too
    env["PEERS_DIR"] = folder
    env["MODULE_ENGINE_ID"] = module_engine_id()
    try:
        if args.snmpd:
            conf = args.snmpd_conf
            if args.ipv6:
                conf = conf + ["rocommunity6 public ::1", "rwcommunity6 private ::1",
                               "createUser ipv6user SHA ipv6auth123 AES ipv6priv123", "rwuser ipv6user priv"]
            agent = Snmpd(folder, "".join(line + "\n" for line in conf))
            if args.ipv6:
                agent.port6 = free_udp_port(socket.AF_INET6)
                env["SNMPD_PORT6"] = str(agent.port6)
            peers.append(agent)
            agent.start()
            env["SNMPD_PORT"] = str(agent.port)
        if args.snmptrapd:
            receiver = Snmptrapd(folder, "".join(line + "\n" for line in args.snmptrapd_conf))
            if args.ipv6:
                receiver.port6 = free_udp_port(socket.AF_INET6)
                env["TRAPD_PORT6"] = str(receiver.port6)
            peers.append(receiver)
            receiver.start()
            env["TRAPD_PORT"] = str(receiver.port)
            env["TRAPD_LOG"] = receiver.log
        if args.agent is not None:
            test_agent = TestAgent(folder, args.agent_bin, args.agent)
            peers.append(test_agent)
            test_agent.start()
            env["AGENT_PORT"] = str(test_agent.port)
            env["AGENT_LOG"] = test_agent.log
        return subprocess.call(command, env=env)
    finally:
        for peer in peers:
            peer.stop()
        if not args.keep_dir:
            subprocess.call(["rm", "-rf", folder])


if __name__ == "__main__":
    sys.exit(main())
