#!/usr/bin/python3
"""v3_peers.py -- COMMAND [ARG...]: runs the command beside snmpd (peers.py's, serving
context "ctxa" by asking itself) and a pysnmp responder, each with its users of users.txt.
The command sees SNMPD_PORT, V3_PYSNMP_PORT, V3_USERS, PEERS_DIR, SNMP_PERSISTENT_DIR,
SNMPCONFPATH, V3_WK_ADDR (a loopback address whose port 161 relays to snmpd, for snmpget
and snmpset) and V3_SHA_KEY (shau's phrase localized to snmpd's engine id, in hex)."""
import hashlib, os, random, select, shutil, socket, subprocess, sys, tempfile, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from peers import LOOPBACK, Peer, Snmpd, peer_environment  # noqa: E402

USERS = os.path.join(HERE, "users.txt")
LEVELS = {"noauth": "noAuthNoPriv", "auth": "authNoPriv", "priv": "authPriv"}


def users(peer):
    rows = [line.split() for line in open(USERS) if line[:1].isalpha()]
    return [dict(zip(("peer", "user", "auth", "apass", "priv", "ppass", "access", "context"), row))
            for row in rows if row[0] == peer]


def level(u):
    return "priv" if u["priv"] != "-" else "auth" if u["auth"] != "-" else "noauth"


def snmpd_conf():
    lines = ["view all included .1"]
    for u in users("snmpd"):
        lines.append(" ".join(["createUser", u["user"]] + [u[k] for k in ("auth", "apass", "priv", "ppass") if u[k] != "-"]))
        if u["context"] == "-":
            lines.append("%s %s %s" % ("rwuser" if u["access"] == "rw" else "rouser", u["user"], level(u)))
        else:  # this user may read its context only
            lines += ["group g_%s usm %s" % (u["user"], u["user"]),
                      "access g_%s %s usm %s exact all none none" % (u["user"], u["context"], level(u))]
    return "\n".join(lines) + "\n"


def responder(port):
    from pysnmp.entity import config, engine
    from pysnmp.entity.rfc3413 import cmdrsp, context
    from pysnmp.carrier.asyncore.dgram import udp
    protocols = {"MD5": config.usmHMACMD5AuthProtocol, "SHA": config.usmHMACSHAAuthProtocol,
                 "SHA-224": config.usmHMAC128SHA224AuthProtocol, "SHA-256": config.usmHMAC192SHA256AuthProtocol,
                 "SHA-384": config.usmHMAC256SHA384AuthProtocol, "SHA-512": config.usmHMAC384SHA512AuthProtocol,
                 "DES": config.usmDESPrivProtocol, "AES": config.usmAesCfb128Protocol,
                 "AES-192": config.usmAesBlumenthalCfb192Protocol, "AES-256": config.usmAesBlumenthalCfb256Protocol,
                 "AES-192C": config.usmAesCfb192Protocol, "AES-256C": config.usmAesCfb256Protocol}
    snmp = engine.SnmpEngine()
    config.addTransport(snmp, udp.domainName, udp.UdpTransport().openServerMode((LOOPBACK, port)))
    for u in users("pysnmp"):
        secrets = [(protocols[u[p]], u[s]) for p, s in (("auth", "apass"), ("priv", "ppass")) if u[p] != "-"]
        config.addV3User(snmp, u["user"], *sum(secrets, ()))
        # An empty write subtree would let a read-only user write everything.
        config.addVacmUser(snmp, 3, u["user"], LEVELS[level(u)], (1, 3, 6), (1, 3, 6) if u["access"] == "rw" else (0, 0))
    snmp_context = context.SnmpContext(snmp)
    for kind in (cmdrsp.GetCommandResponder, cmdrsp.NextCommandResponder, cmdrsp.SetCommandResponder):
        kind(snmp, snmp_context)
    snmp.transportDispatcher.jobStarted(1)
    snmp.transportDispatcher.runDispatcher()


def probe(env, u, port, oid):
    """Asks as user u until the agent answers; the value."""
    command = ["snmpget", "-Oqv", "-Ox", "-m", "", "-M", "/nonexistent", "-t", "0.3", "-r", "0", "-v3",
               "-u", u["user"], "-l", LEVELS[level(u)], "%s:%d" % (LOOPBACK, port), oid]
    for option, p, s in (("-a", "auth", "apass"), ("-x", "priv", "ppass")):
        if u[p] != "-":
            command[-2:-2] = [option, u[p], option.upper(), u[s]]
    for _ in range(100):
        done = subprocess.run(command, env=env, capture_output=True, text=True)
        if done.returncode == 0:
            return done.stdout.strip().strip('"')
        time.sleep(0.1)  # between polls
    raise RuntimeError("no SNMPv3 answer from port %d: %s" % (port, done.stderr))


def relay(target):
    """Port 161 of a random loopback address, relaying to and from target."""
    front, back = socket.socket(socket.AF_INET, socket.SOCK_DGRAM), socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    front.bind(("127.%d.%d.%d" % tuple(random.randint(1, 254) for _ in range(3)), 161))
    back.connect((LOOPBACK, target))

    def run(client=None):
        try:
            while True:
                ready = select.select([front, back], [], [])[0]
                if front in ready:
                    data, client = front.recvfrom(65536)
                    back.send(data)
                if back in ready:
                    front.sendto(back.recv(65536), client)
        except OSError:  # the agent is gone
            pass
    threading.Thread(target=run, daemon=True).start()
    return front.getsockname()[0]


def localized_sha_key(phrase, engine_id):
    ku = hashlib.sha1((phrase * (1048576 // len(phrase) + 1))[:1048576].encode()).digest()
    return hashlib.sha1(ku + engine_id + ku).hexdigest()


def main():
    if sys.argv[1:2] == ["--pysnmp"]:
        return responder(int(sys.argv[2]))
    command = sys.argv[2:] if sys.argv[1:2] == ["--"] else sys.argv[1:]
    folder = tempfile.mkdtemp(prefix="vantor-v3-")
    env = peer_environment(folder)
    agent, pysnmp = Snmpd(folder, snmpd_conf()), Peer("pysnmp", folder)
    try:
        with open(agent.conf, "a") as conf:
            for name in sorted({u["context"] for u in users("snmpd")} - {"-"}):
                conf.write("proxy -Cn %s -v 2c -c public %s:%d .1.3.6.1.2.1.1\n" % (name, LOOPBACK, agent.port))
        agent.start()
        pysnmp.process = subprocess.Popen([sys.executable, __file__, "--pysnmp", str(pysnmp.port)], stdin=subprocess.DEVNULL)
        engine_id = bytes.fromhex(probe(env, users("snmpd")[0], agent.port, "1.3.6.1.6.3.10.2.1.1.0"))
        probe(env, users("pysnmp")[0], pysnmp.port, "1.3.6.1.2.1.1.1.0")
        shau = next(u for u in users("snmpd") if u["user"] == "shau")
        env.update(PEERS_DIR=folder, SNMPD_PORT=str(agent.port), V3_PYSNMP_PORT=str(pysnmp.port), V3_USERS=USERS,
                   V3_WK_ADDR=relay(agent.port), V3_SHA_KEY=localized_sha_key(shau["apass"], engine_id))
        return subprocess.call(command, env=env)
    finally:
        for peer in (pysnmp, agent):
            peer.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
