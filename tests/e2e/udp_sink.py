#!/usr/bin/python3
"""Runs a command next to UDP ports that receive and never answer (and, on
request, one that answers with responses made by hand).

    udp_sink.py [--well-known] [--answer] -- COMMAND [ARG...]

Stands for "no agent on the port": every datagram that arrives is decoded with
pysnmp (an independent decoder) and written as one line to a log, so that a
test can count transmissions and look at what was sent. The command sees:
  SINK_PORT        a port on 127.0.0.1 that receives
  SINK_FREE_PORT   a port on 127.0.0.1 that was free a moment ago (for a local port)
  SINK_LOG         the log, one line per datagram, flushed at once
  SINK_WK_ADDR     with --well-known: an address in 127.0.0.0/8 whose ports 161
                   and 162 receive too (unset when they could not be bound)
  SINK_ANSWER_PORT with --answer: a port on 127.0.0.1 that answers every
                   request with a response built octet by octet: the asked
                   name with the value CRAFTED gives for its last sub-identifier
A log line holds tab-separated key=value fields: local (the receiving port),
from (the sender's port), size, version, community, pdu (the tag, e.g. a0),
reqid, status, index, vars (name|tag|value separated by ";"); for a v1 trap
also enterprise, agent, generic, specific, timestamp. A datagram that does not
decode gets pdu=undecodable and its octets in hex.
"""
import argparse
import os
import random
import selectors
import socket
import subprocess
import sys
import tempfile
import threading

from pyasn1.codec.ber import decoder, encoder
from pyasn1.type import univ
from pysnmp.proto import api

LOOPBACK = "127.0.0.1"

# Values an agent may send that Net-SNMP's agent never does, as raw BER, by
# the last sub-identifier of the name asked for.
CRAFTED = {
    1: bytes.fromhex("0101ff"),            # BOOLEAN TRUE
    2: bytes.fromhex("3000"),              # an empty SEQUENCE
    3: bytes.fromhex("3003020105"),        # a SEQUENCE holding INTEGER 5
    4: bytes.fromhex("40020a00"),          # IpAddress of 2 octets
    5: bytes.fromhex("4000"),              # IpAddress of no octets
    6: bytes.fromhex("4004c0a8010a"),      # IpAddress 192.168.1.10
    7: bytes.fromhex("0201fb"),            # INTEGER -5
    8: bytes.fromhex("410500b2d05e00"),    # Counter32 3000000000
    9: bytes.fromhex("430500ffffffff"),    # TimeTicks 4294967295
    10: bytes.fromhex("46050100000005"),   # Counter64 2^32 + 5
    11: bytes.fromhex("460107"),           # Counter64 7 in one octet
    12: bytes.fromhex("40050102030405"),   # IpAddress of 5 octets
    13: bytes.fromhex("0403001aff"),       # OCTET STRING 00 1A FF
    14: bytes.fromhex("8000"),             # noSuchObject
    15: bytes.fromhex("0205ff80000000"),   # INTEGER -2^31 as pyasn1 writes it
    16: bytes.fromhex("02050080000000"),   # INTEGER 2^31: no INTEGER holds it
    17: bytes.fromhex("0600"),             # OBJECT IDENTIFIER without octets
    18: bytes.fromhex("030200aa"),         # BIT STRING
    19: bytes.fromhex("a0020500"),         # a constructed value of a context tag
}


def tlv(tag, content):
    if len(content) < 0x80:
        length = bytes([len(content)])
    else:
        octets = len(content).to_bytes((len(content).bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(octets)]) + octets
    return bytes([tag]) + length + content


def crafted_response(datagram):
    """The response to a get, get-next or set request, or None."""
    module, message = decode(datagram)
    pdu = module.apiMessage.getPDU(message)
    binds = module.apiPDU.getVarBinds(pdu)
    if not binds:
        return None
    name = binds[0][0]
    value = CRAFTED.get(int(name[-1]), bytes.fromhex("0500"))
    request_id = encoder.encode(univ.Integer(int(module.apiPDU.getRequestID(pdu))))
    binding = tlv(0x30, encoder.encode(univ.ObjectIdentifier(name)) + value)
    body = request_id + tlv(0x02, b"\x00") + tlv(0x02, b"\x00") + tlv(0x30, binding)
    return tlv(0x30, encoder.encode(univ.Integer(int(module.apiMessage.getVersion(message))))
               + tlv(0x04, bytes(module.apiMessage.getCommunity(message))) + tlv(0xA2, body))


def value_text(value):
    """The tag of a binding's value and its value as text."""
    octets = encoder.encode(value)
    tag = octets[0]
    if tag in (0x02, 0x41, 0x42, 0x43, 0x46, 0x47):
        text = str(int(value))
    elif tag == 0x06:
        text = ".".join(str(x) for x in value)
    elif tag == 0x40:
        text = ".".join(str(x) for x in bytes(value.asOctets()))
    elif tag == 0x05:
        text = ""
    else:
        text = bytes(value.asOctets()).hex()
    return "%02x" % tag, text


def decode(datagram):
    """The message and the protocol module that decoded it."""
    version = int(api.decodeMessageVersion(datagram))
    try:
        module = api.protoModules[version]
        return module, decoder.decode(datagram, asn1Spec=module.Message())[0]
    except Exception:
        if version != 0:
            raise
        # SNMPv1 has no Counter64; a v1 request that carries one anyway is
        # still worth showing, and the v2c definitions are a superset for it.
        module = api.protoModules[api.protoVersion2c]
        return module, decoder.decode(datagram, asn1Spec=module.Message())[0]


def describe(datagram):
    fields = {}
    try:
        module, message = decode(datagram)
        version = int(module.apiMessage.getVersion(message))
        pdu = module.apiMessage.getPDU(message)
        fields["version"] = str(version)
        fields["community"] = bytes(module.apiMessage.getCommunity(message)).decode("latin-1")
        fields["pdu"] = "%02x" % encoder.encode(pdu)[0]
        if pdu.isSameTypeWith(module.TrapPDU()):
            trap = module.apiTrapPDU
            fields["enterprise"] = ".".join(str(x) for x in trap.getEnterprise(pdu))
            fields["agent"] = trap.getAgentAddr(pdu).prettyPrint()
            fields["generic"] = str(int(trap.getGenericTrap(pdu)))
            fields["specific"] = str(int(trap.getSpecificTrap(pdu)))
            fields["timestamp"] = str(int(trap.getTimeStamp(pdu)))
            binds = trap.getVarBinds(pdu)
        elif hasattr(module, "GetBulkRequestPDU") and pdu.isSameTypeWith(module.GetBulkRequestPDU()):
            # A GetBulk's two counts stand where the error fields stand.
            bulk = module.apiBulkPDU
            fields["reqid"] = str(int(bulk.getRequestID(pdu)))
            fields["status"] = str(int(bulk.getNonRepeaters(pdu)))
            fields["index"] = str(int(bulk.getMaxRepetitions(pdu)))
            binds = bulk.getVarBinds(pdu)
        else:
            fields["reqid"] = str(int(module.apiPDU.getRequestID(pdu)))
            fields["status"] = str(int(module.apiPDU.getErrorStatus(pdu)))
            fields["index"] = str(int(module.apiPDU.getErrorIndex(pdu)))
            binds = module.apiPDU.getVarBinds(pdu)
        parts = []
        for name, value in binds:
            tag, text = value_text(value)
            parts.append("%s|%s|%s" % (".".join(str(x) for x in name), tag, text))
        fields["vars"] = ";".join(parts)
    except Exception as failure:  # anything pysnmp refuses is shown raw
        fields = {"pdu": "undecodable", "error": str(failure).replace("\t", " ").replace("\n", " "),
                  "hex": datagram.hex()}
    return fields


def receive(sockets, log_path, stop, answering=None):
    """Logs datagrams. The main socket (the first) is read last on every
    wake-up: whatever was sent to the other ports before a datagram to the main
    port is then in the log before it, which lets a test use the main port for
    markers."""
    selector = selectors.DefaultSelector()
    for s in sockets:
        s.setblocking(False)
        selector.register(s, selectors.EVENT_READ)
    order = sockets[1:] + sockets[:1]
    with open(log_path, "a") as log:
        while not stop.is_set():
            if not selector.select(timeout=0.05):
                continue
            for s in order:
                while True:
                    try:
                        datagram, sender = s.recvfrom(65535)
                    except BlockingIOError:
                        break
                    fields = {"local": str(s.getsockname()[1]), "from": str(sender[1]),
                              "size": str(len(datagram))}
                    fields.update(describe(datagram))
                    log.write("\t".join("%s=%s" % item for item in fields.items()) + "\n")
                    log.flush()
                    if s is answering:
                        try:
                            reply = crafted_response(datagram)
                        except Exception:
                            reply = None
                        if reply:
                            s.sendto(reply, sender)


def bound(address, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.bind((address, port))
    except OSError:
        s.close()
        return None
    return s


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--well-known", action="store_true")
    parser.add_argument("--answer", action="store_true")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    env = dict(os.environ)
    main_socket = bound(LOOPBACK, 0)
    sockets = [main_socket]
    env["SINK_PORT"] = str(main_socket.getsockname()[1])
    probe = bound(LOOPBACK, 0)
    env["SINK_FREE_PORT"] = str(probe.getsockname()[1])
    probe.close()
    if args.well_known:
        # A random loopback address keeps clear of an agent on 0.0.0.0:161 only
        # when that agent is absent; then both ports bind or neither is used.
        for _ in range(5):
            address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254), random.randint(1, 254))
            pair = [bound(address, 161), bound(address, 162)]
            if all(pair):
                sockets += pair
                env["SINK_WK_ADDR"] = address
                break
            for s in pair:
                if s:
                    s.close()

    answering = None
    if args.answer:
        answering = bound(LOOPBACK, 0)
        sockets.append(answering)
        env["SINK_ANSWER_PORT"] = str(answering.getsockname()[1])

    folder = tempfile.mkdtemp(prefix="vantor-sink-")
    log_path = os.path.join(folder, "sink.log")
    open(log_path, "w").close()
    env["SINK_LOG"] = log_path
    stop = threading.Event()
    thread = threading.Thread(target=receive, args=(sockets, log_path, stop, answering), daemon=True)
    thread.start()
    try:
        return subprocess.call(command, env=env)
    finally:
        stop.set()
        thread.join(timeout=2)
        for s in sockets:
            s.close()
        subprocess.call(["rm", "-rf", folder])


if __name__ == "__main__":
    sys.exit(main())
