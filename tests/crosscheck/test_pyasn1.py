#!/usr/bin/python3
"""The engine's message codec checked against independent BER code.

Messages that the engine encodes (through codec_tool) are decoded by pyasn1,
with a message schema written here and, where the message fits them, with
pysnmp's own SNMPv1 and SNMPv2c definitions, and compared field by field.
Messages that pyasn1 and pysnmp build are decoded by the engine and compared
the same way. Faults shared by an encoder and a decoder of our own show up
here.

Usage: test_pyasn1.py PATH_TO_codec_tool [unittest arguments]
pyasn1 and pysnmp are required: a missing package is a failure, not a skip.
"""
import random
import subprocess
import sys
import unittest

from pyasn1.codec.ber import decoder, encoder
from pyasn1.type import namedtype, tag, univ
from pysnmp.proto import api

TOOL = None

# ---------------------------------------------------------------- schema


def _implicit(base, tag_class, number):
    fmt = tag.tagFormatSimple
    return base.tagSet.tagImplicitly(tag.Tag(tag_class, fmt, number))


class IpAddress(univ.OctetString):
    tagSet = _implicit(univ.OctetString, tag.tagClassApplication, 0)


class Counter32(univ.Integer):
    tagSet = _implicit(univ.Integer, tag.tagClassApplication, 1)


class Gauge32(univ.Integer):
    tagSet = _implicit(univ.Integer, tag.tagClassApplication, 2)


class TimeTicks(univ.Integer):
    tagSet = _implicit(univ.Integer, tag.tagClassApplication, 3)


class Opaque(univ.OctetString):
    tagSet = _implicit(univ.OctetString, tag.tagClassApplication, 4)


class NsapAddress(univ.OctetString):
    tagSet = _implicit(univ.OctetString, tag.tagClassApplication, 5)


class Counter64(univ.Integer):
    tagSet = _implicit(univ.Integer, tag.tagClassApplication, 6)


class UInteger32(univ.Integer):
    tagSet = _implicit(univ.Integer, tag.tagClassApplication, 7)


class NoSuchObject(univ.Null):
    tagSet = _implicit(univ.Null, tag.tagClassContext, 0)


class NoSuchInstance(univ.Null):
    tagSet = _implicit(univ.Null, tag.tagClassContext, 1)


class EndOfMibView(univ.Null):
    tagSet = _implicit(univ.Null, tag.tagClassContext, 2)


TYPES = {
    0x02: univ.Integer, 0x03: univ.BitString, 0x04: univ.OctetString, 0x05: univ.Null,
    0x06: univ.ObjectIdentifier, 0x40: IpAddress, 0x41: Counter32, 0x42: Gauge32,
    0x43: TimeTicks, 0x44: Opaque, 0x45: NsapAddress, 0x46: Counter64, 0x47: UInteger32,
    0x80: NoSuchObject, 0x81: NoSuchInstance, 0x82: EndOfMibView,
}
INTEGER_TYPES = {0x02, 0x41, 0x42, 0x43, 0x46, 0x47}
STRING_TYPES = {0x04, 0x40, 0x44, 0x45}
NULL_TYPES = {0x05, 0x80, 0x81, 0x82}


class Value(univ.Choice):
    componentType = namedtype.NamedTypes(
        *[namedtype.NamedType('t%02x' % code, cls()) for code, cls in TYPES.items()])


class VarBind(univ.Sequence):
    componentType = namedtype.NamedTypes(
        namedtype.NamedType('name', univ.ObjectIdentifier()),
        namedtype.NamedType('value', Value()))


class VarBindList(univ.SequenceOf):
    componentType = VarBind()


def _pdu_tag(number):
    return univ.Sequence.tagSet.tagImplicitly(
        tag.Tag(tag.tagClassContext, tag.tagFormatConstructed, number))


def _request_pdu(number):
    return type('Pdu%x' % (0xA0 + number), (univ.Sequence,), {
        'tagSet': _pdu_tag(number),
        'componentType': namedtype.NamedTypes(
            namedtype.NamedType('request-id', univ.Integer()),
            namedtype.NamedType('error-status', univ.Integer()),
            namedtype.NamedType('error-index', univ.Integer()),
            namedtype.NamedType('variable-bindings', VarBindList())),
    })


class TrapPdu(univ.Sequence):
    tagSet = _pdu_tag(4)
    componentType = namedtype.NamedTypes(
        namedtype.NamedType('enterprise', univ.ObjectIdentifier()),
        namedtype.NamedType('agent-addr', IpAddress()),
        namedtype.NamedType('generic-trap', univ.Integer()),
        namedtype.NamedType('specific-trap', univ.Integer()),
        namedtype.NamedType('time-stamp', TimeTicks()),
        namedtype.NamedType('variable-bindings', VarBindList()))


REQUEST_COMMANDS = [0xA0, 0xA1, 0xA2, 0xA3, 0xA5, 0xA6, 0xA7, 0xA8]
PDU_CLASSES = {0xA0 + n: _request_pdu(n) for n in range(9) if n != 4}
PDU_CLASSES[0xA4] = TrapPdu


class Pdus(univ.Choice):
    componentType = namedtype.NamedTypes(
        *[namedtype.NamedType('p%x' % code, cls()) for code, cls in sorted(PDU_CLASSES.items())])


class Message(univ.Sequence):
    componentType = namedtype.NamedTypes(
        namedtype.NamedType('version', univ.Integer()),
        namedtype.NamedType('community', univ.OctetString()),
        namedtype.NamedType('data', Pdus()))


# ------------------------------------------------------ message records
# A message is a dict: version, community (bytes), command, then either
# request_id/error_status/error_index or the trap fields, and binds: a list
# of (name tuple, type code, value) with value an int, bytes, an OID tuple or
# None.


def to_description(msg):
    lines = ['version %d' % msg['version'], 'community %s' % msg['community'].hex(),
             'command %x' % msg['command']]
    if msg['command'] == 0xA4:
        lines += ['enterprise %s' % dotted(msg['enterprise']),
                  'agent-addr %s' % msg['agent_addr'].hex(),
                  'generic-trap %d' % msg['generic'], 'specific-trap %d' % msg['specific'],
                  'time-stamp %d' % msg['time_stamp']]
    else:
        lines += ['request-id %d' % msg['request_id'], 'error-status %d' % msg['error_status'],
                  'error-index %d' % msg['error_index']]
    for name, code, value in msg['binds']:
        lines.append('bind %s %02x %s' % (dotted(name), code, format_value(code, value)))
    return '\n'.join(lines) + '\n'


def dotted(oid):
    return '.'.join(str(x) for x in oid)


def format_value(code, value):
    if value is None:
        return '-'
    if code in INTEGER_TYPES:
        return str(value)
    if code == 0x06:
        return dotted(value)
    return 'x:' + value.hex()


def parse_description(text):
    """The engine's decode output, as a message record (None: not decoded)."""
    lines = text.splitlines()
    result = int(lines[0].split()[1])
    if result != 0:
        return None
    msg = {'binds': []}
    for line in lines[1:]:
        key, _, rest = line.partition(' ')
        if key == 'version':
            msg['version'] = int(rest)
        elif key == 'community':
            msg['community'] = bytes.fromhex(rest)
        elif key == 'command':
            msg['command'] = int(rest, 16)
        elif key == 'enterprise':
            msg['enterprise'] = oid_tuple(rest)
        elif key == 'agent-addr':
            msg['agent_addr'] = bytes.fromhex(rest)
        elif key in ('generic-trap', 'specific-trap', 'time-stamp', 'request-id',
                     'error-status', 'error-index'):
            field = {'generic-trap': 'generic', 'specific-trap': 'specific',
                     'time-stamp': 'time_stamp'}.get(key, key.replace('-', '_'))
            msg[field] = int(rest)
        elif key == 'bind':
            name, code, value = rest.split(' ')
            code = int(code, 16)
            msg['binds'].append((oid_tuple(name), code, parse_value(code, value)))
    return msg


def oid_tuple(text):
    return tuple(int(x) for x in text.split('.')) if text else ()


def parse_value(code, text):
    if text == '-':
        return None
    if code in INTEGER_TYPES:
        return int(text)
    if code == 0x06:
        return oid_tuple(text)
    return bytes.fromhex(text[2:])


def engine_encode(msg):
    out = subprocess.run([TOOL, 'encode'], input=to_description(msg), capture_output=True,
                         text=True, check=False)
    if out.returncode != 0:
        raise AssertionError('codec_tool encode failed: %s %s' % (out.stdout, out.stderr))
    return bytes.fromhex(out.stdout.strip())


def engine_decode(data):
    out = subprocess.run([TOOL, 'decode'], input=data.hex(), capture_output=True, text=True,
                         check=True)
    return parse_description(out.stdout), out.stderr


# ------------------------------------------- pyasn1 side, own schema


def schema_decode(data):
    msg, rest = decoder.decode(data, asn1Spec=Message())
    if rest:
        raise AssertionError('octets left over: %s' % bytes(rest).hex())
    data_choice = msg['data']
    command = 0
    for code in PDU_CLASSES:
        if data_choice.getName() == 'p%x' % code:
            command = code
    pdu = data_choice.getComponent()
    record = {'version': int(msg['version']), 'community': bytes(msg['community']),
              'command': command, 'binds': []}
    if command == 0xA4:
        record.update(enterprise=tuple(pdu['enterprise']),
                      agent_addr=bytes(pdu['agent-addr']),
                      generic=int(pdu['generic-trap']), specific=int(pdu['specific-trap']),
                      time_stamp=int(pdu['time-stamp']) & 0xFFFFFFFF)
    else:
        record.update(request_id=int(pdu['request-id']), error_status=int(pdu['error-status']),
                      error_index=int(pdu['error-index']))
    for vb in pdu['variable-bindings']:
        choice = vb['value']
        code = int(choice.getName()[1:], 16)
        record['binds'].append((tuple(vb['name']), code, schema_value(code, choice.getComponent())))
    return record


def schema_value(code, value):
    if code in INTEGER_TYPES:
        return int(value)
    if code == 0x06:
        return tuple(value)
    if code in NULL_TYPES:
        return None
    if code == 0x03:
        bits = list(value)
        unused = (8 - len(bits) % 8) % 8
        bits += [0] * unused
        octets = bytes(int(''.join(str(b) for b in bits[i:i + 8]), 2) for i in range(0, len(bits), 8))
        return bytes([unused]) + octets
    return bytes(value)


def bit_string(value):
    """A pyasn1 BIT STRING from the engine's form: unused-bit count, then octets."""
    bits = [(octet >> (7 - i)) & 1 for octet in value[1:] for i in range(8)]
    return univ.BitString(tuple(bits[:len(bits) - value[0]]))


def schema_encode(msg):
    m = Message()
    m['version'] = msg['version']
    m['community'] = msg['community']
    cls = PDU_CLASSES[msg['command']]
    pdu = cls()
    if msg['command'] == 0xA4:
        pdu['enterprise'] = msg['enterprise']
        pdu['agent-addr'] = msg['agent_addr']
        pdu['generic-trap'] = msg['generic']
        pdu['specific-trap'] = msg['specific']
        pdu['time-stamp'] = msg['time_stamp']
    else:
        pdu['request-id'] = msg['request_id']
        pdu['error-status'] = msg['error_status']
        pdu['error-index'] = msg['error_index']
    bindings = pdu['variable-bindings']
    for i, (name, code, value) in enumerate(msg['binds']):
        vb = VarBind()
        vb['name'] = name
        choice = Value()
        if code == 0x03:
            choice['t03'] = bit_string(value)
        else:
            choice['t%02x' % code] = TYPES[code]('' if value is None else value)
        vb['value'] = choice
        bindings[i] = vb
    m['data']['p%x' % msg['command']] = pdu
    return encoder.encode(m)


# --------------------------------------------------------- pysnmp side

V1_TYPES = {0x02, 0x04, 0x05, 0x06, 0x40, 0x41, 0x42, 0x43, 0x44}
V2C_TYPES = V1_TYPES | {0x46, 0x80, 0x81, 0x82}
V1_COMMANDS = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4}
V2C_COMMANDS = {0xA0, 0xA1, 0xA2, 0xA3, 0xA5, 0xA6, 0xA7, 0xA8}


def pysnmp_module(msg):
    """pysnmp's definitions for this message, or None when it holds a type or
    command that they do not describe."""
    types = {code for _, code, _ in msg['binds']}
    if msg['version'] == 0 and msg['command'] in V1_COMMANDS and types <= V1_TYPES:
        return api.protoModules[api.protoVersion1]
    if msg['version'] == 1 and msg['command'] in V2C_COMMANDS and types <= V2C_TYPES:
        return api.protoModules[api.protoVersion2c]
    return None


def type_code(value):
    t = value.tagSet[-1]
    return t.tagClass | t.tagFormat | t.tagId


def pysnmp_decode(data, module):
    msg, rest = decoder.decode(data, asn1Spec=module.Message())
    if rest:
        raise AssertionError('octets left over')
    pdu = module.apiMessage.getPDU(msg)
    record = {'version': int(msg['version']),
              'community': bytes(module.apiMessage.getCommunity(msg)),
              'command': type_code(pdu), 'binds': []}
    if record['command'] == 0xA4:
        record.update(enterprise=tuple(module.apiTrapPDU.getEnterprise(pdu)),
                      agent_addr=bytes(module.apiTrapPDU.getAgentAddr(pdu)),
                      generic=int(module.apiTrapPDU.getGenericTrap(pdu)),
                      specific=int(module.apiTrapPDU.getSpecificTrap(pdu)),
                      time_stamp=int(module.apiTrapPDU.getTimeStamp(pdu)) & 0xFFFFFFFF)
    else:
        record.update(request_id=int(module.apiPDU.getRequestID(pdu)),
                      error_status=int(pdu.getComponentByPosition(1)),
                      error_index=int(pdu.getComponentByPosition(2)))
    pdu_api = module.apiTrapPDU if record['command'] == 0xA4 else module.apiPDU
    for name, value in pdu_api.getVarBinds(pdu):
        code = type_code(value)
        record['binds'].append((tuple(name), code, schema_value(code, value)))
    return record


def pysnmp_build(module, msg):
    if msg['command'] == 0xA4:
        pdu = module.TrapPDU()
        module.apiTrapPDU.setDefaults(pdu)
        module.apiTrapPDU.setEnterprise(pdu, msg['enterprise'])
        module.apiTrapPDU.setAgentAddr(pdu, module.IpAddress(msg['agent_addr']))
        module.apiTrapPDU.setGenericTrap(pdu, msg['generic'])
        module.apiTrapPDU.setSpecificTrap(pdu, msg['specific'])
        module.apiTrapPDU.setTimeStamp(pdu, msg['time_stamp'])
    else:
        cls = {0xA0: module.GetRequestPDU, 0xA1: module.GetNextRequestPDU,
               0xA2: module.GetResponsePDU, 0xA3: module.SetRequestPDU}.get(msg['command'])
        if cls is None:
            cls = {0xA5: module.GetBulkRequestPDU, 0xA8: module.ReportPDU}[msg['command']]
        pdu = cls()
        module.apiPDU.setDefaults(pdu)
        module.apiPDU.setRequestID(pdu, msg['request_id'])
        pdu.setComponentByPosition(1, msg['error_status'])
        pdu.setComponentByPosition(2, msg['error_index'])
    classes = {0x02: module.Integer, 0x04: module.OctetString, 0x05: module.Null,
               0x06: module.ObjectIdentifier, 0x40: module.IpAddress, 0x44: module.Opaque,
               0x43: module.TimeTicks}
    if module is api.protoModules[api.protoVersion1]:
        classes.update({0x41: module.Counter, 0x42: module.Gauge})
    else:
        classes.update({0x41: module.Counter32, 0x42: module.Gauge32, 0x46: module.Counter64,
                        0x80: module.NoSuchObject, 0x81: module.NoSuchInstance,
                        0x82: module.EndOfMibView})
    binds = [(name, classes[code]('' if value is None else value))
             for name, code, value in msg['binds']]
    (module.apiTrapPDU if msg['command'] == 0xA4 else module.apiPDU).setVarBinds(pdu, binds)
    m = module.Message()
    module.apiMessage.setDefaults(m)
    module.apiMessage.setCommunity(m, msg['community'])
    module.apiMessage.setPDU(m, pdu)
    return encoder.encode(m)


# ------------------------------------------------------------ messages

SYS_DESCR = (1, 3, 6, 1, 2, 1, 1, 1, 0)
SYS_UPTIME = (1, 3, 6, 1, 2, 1, 1, 3, 0)
ENTERPRISE = (1, 3, 6, 1, 4, 1, 4242)


def request(version, command, binds, community=b'public', request_id=1, status=0, index=0):
    return {'version': version, 'community': community, 'command': command,
            'request_id': request_id, 'error_status': status, 'error_index': index,
            'binds': binds}


def trap(binds, time_stamp=1234, generic=6, specific=17, enterprise=ENTERPRISE,
         addr=b'\x7f\x00\x00\x01'):
    return {'version': 0, 'community': b'public', 'command': 0xA4, 'enterprise': enterprise,
            'agent_addr': addr, 'generic': generic, 'specific': specific,
            'time_stamp': time_stamp, 'binds': binds}


EVERY_TYPE = [
    (SYS_DESCR, 0x02, -5), (SYS_DESCR, 0x02, 2147483647), (SYS_DESCR, 0x02, -2147483647),
    (SYS_DESCR, 0x04, b'router \x00\xff'), (SYS_DESCR, 0x04, b''), (SYS_DESCR, 0x05, None),
    (SYS_DESCR, 0x06, (1, 3, 6, 1, 4, 1, 4242, 4294967295)), (SYS_DESCR, 0x06, (2, 999, 1)),
    (SYS_DESCR, 0x40, b'\x0a\x01\x02\x03'), (SYS_DESCR, 0x41, 4294967295),
    (SYS_DESCR, 0x41, 2147483648), (SYS_DESCR, 0x42, 1000), (SYS_UPTIME, 0x43, 123456),
    (SYS_DESCR, 0x44, b'\x9f\x78\x04\x00\x00\x00\x01'), (SYS_DESCR, 0x45, b'\xab\xcd'),
    (SYS_DESCR, 0x46, 18446744073709551615), (SYS_DESCR, 0x46, 1 << 63),
    (SYS_DESCR, 0x46, 0), (SYS_DESCR, 0x47, 7), (SYS_DESCR, 0x80, None),
    (SYS_DESCR, 0x81, None), (SYS_DESCR, 0x82, None),
]

FIXED = [
    ('worked get', request(0, 0xA0, [(SYS_UPTIME, 0x05, None)])),
    ('get-next', request(0, 0xA1, [(SYS_DESCR, 0x05, None), (SYS_UPTIME, 0x05, None)],
                         request_id=2147483647)),
    ('set', request(0, 0xA3, [(SYS_DESCR, 0x04, b'new contact')], community=b'private',
                    request_id=-1)),
    ('v1 response', request(0, 0xA2, [b for b in EVERY_TYPE if b[1] in V1_TYPES],
                            status=2, index=1)),
    ('v2c response', request(1, 0xA2, [b for b in EVERY_TYPE if b[1] in V2C_TYPES])),
    ('every type', request(1, 0xA2, EVERY_TYPE)),
    ('get-bulk', request(1, 0xA5, [(SYS_DESCR, 0x05, None)], status=0, index=10)),
    ('report', request(1, 0xA8, [((1, 3, 6, 1, 6, 3, 15, 1, 1, 4, 0), 0x41, 3)])),
    ('empty bindings', request(1, 0xA0, [])),
    ('long community', request(1, 0xA0, [(SYS_DESCR, 0x05, None)], community=b'c' * 200)),
    ('long value', request(0, 0xA2, [(SYS_DESCR, 0x04, bytes(range(256)) * 10)])),
    ('trap', trap([((1, 3, 6, 1, 4, 1, 4242, 1, 0), 0x02, 42)])),
    ('trap without bindings', trap([], time_stamp=0, generic=0, specific=0)),
    ('trap large time stamp', trap([], time_stamp=0x80000000)),
    ('trap largest time stamp', trap([], time_stamp=0xFFFFFFFF)),
    ('trap v1 types', trap([b for b in EVERY_TYPE if b[1] in V1_TYPES])),
]


def random_oid(rng, entries):
    first = rng.randrange(3)
    second = rng.randrange(40) if first < 2 else rng.choice([0, 5, 39, 40, 100, 999, 70000])
    rest = [rng.choice([0, 1, 127, 128, 16383, 16384, rng.randrange(1 << 32), 4294967295,
                        rng.randrange(256)]) for _ in range(entries - 2)]
    return (first, second, *rest)


def oid_octets(oid):
    total = 0
    for value in [oid[0] * 40 + oid[1], *oid[2:]]:
        total += max(1, (value.bit_length() + 6) // 7)
    return total


def random_value(rng, code, pyasn1_built):
    if code == 0x02:
        # pyasn1 writes -2**31 in five octets (FF 80 00 00 00), which the engine
        # reads as 0 like any over-long INTEGER (see test_over_long_integer).
        lowest = -2 ** 31 + 1 if pyasn1_built else -2 ** 31
        return rng.choice([0, 1, -1, 127, 128, -128, -129, 2147483647, lowest,
                           rng.randrange(lowest, 2 ** 31)])
    if code in (0x41, 0x42, 0x43, 0x47):
        return rng.choice([0, 127, 128, 2 ** 31 - 1, 2 ** 31, 2 ** 32 - 1, rng.randrange(2 ** 32)])
    if code == 0x46:
        return rng.choice([0, 2 ** 63, 2 ** 64 - 1, 2 ** 32, rng.randrange(2 ** 64)])
    if code == 0x06:
        while True:
            oid = random_oid(rng, rng.randrange(2, 20))
            if oid_octets(oid) <= 64:
                return oid
    if code == 0x40:
        return bytes(rng.randrange(256) for _ in range(4))
    if code == 0x03:
        octets = rng.randrange(0, 6)
        if octets == 0:
            return b'\x00'
        unused = rng.randrange(8)
        data = bytearray(rng.randrange(256) for _ in range(octets))
        data[-1] &= 0xFF << unused & 0xFF
        return bytes([unused]) + bytes(data)
    if code in STRING_TYPES:
        return bytes(rng.randrange(256) for _ in range(rng.choice([0, 1, 5, 127, 128, 300])))
    return None


def random_message(rng, codes, pyasn1_built=False):
    binds = []
    for _ in range(rng.randrange(0, 10)):
        while True:
            name = random_oid(rng, rng.randrange(2, 30))
            if oid_octets(name) <= 64:
                break
        code = rng.choice(codes)
        binds.append((name, code, random_value(rng, code, pyasn1_built)))
    if rng.randrange(6) == 0:
        msg = trap(binds, time_stamp=rng.randrange(2 ** 31), generic=rng.randrange(7),
                   specific=rng.randrange(-2 ** 31, 2 ** 31), enterprise=random_oid(rng, 8),
                   addr=bytes(rng.randrange(256) for _ in range(4)))
    else:
        msg = request(rng.randrange(2), rng.choice(REQUEST_COMMANDS), binds,
                      community=bytes(rng.randrange(256) for _ in range(rng.randrange(0, 140))),
                      request_id=rng.randrange(-2 ** 31, 2 ** 31),
                      status=rng.randrange(0, 19), index=rng.randrange(0, 200))
    return msg


DECODABLE_CODES = sorted(set(TYPES) - {0x03})

# --------------------------------------------------------------- tests


class EngineEncodesPyasn1Decodes(unittest.TestCase):
    def check(self, msg):
        data = engine_encode(msg)
        self.assertEqual(schema_decode(data), msg)
        module = pysnmp_module(msg)
        if module is not None:
            self.assertEqual(pysnmp_decode(data, module), msg)
        return data

    def test_fixed_messages(self):
        for label, msg in FIXED:
            with self.subTest(label):
                self.check(msg)

    def test_worked_get_request_octets(self):
        data = self.check(FIXED[0][1])
        self.assertEqual(data.hex(), '3082002802010004067075626c6963a01b020101020100020100'
                                     '3010308200' '0c06082b060102010103000500')

    def test_pysnmp_covers_commands_and_trap(self):
        covered = [label for label, msg in FIXED if pysnmp_module(msg) is not None]
        for label in ('worked get', 'v1 response', 'v2c response', 'get-bulk', 'trap'):
            self.assertIn(label, covered)

    def test_lowest_integer(self):
        # Written minimally in four octets (pyasn1 itself would use five).
        data = self.check(request(0, 0xA2, [(SYS_DESCR, 0x02, -2 ** 31)]))
        self.assertIn(bytes.fromhex('020480000000'), data)

    def test_bit_string(self):
        msg = request(1, 0xA3, [(SYS_DESCR, 0x03, b'\x04\xf0'), (SYS_DESCR, 0x03, b'\x00')])
        self.assertEqual(schema_decode(engine_encode(msg)), msg)

    def test_random_messages(self):
        rng = random.Random(20240601)
        for i in range(120):
            msg = random_message(rng, sorted(TYPES))
            with self.subTest(i):
                self.check(msg)


class Pyasn1EncodesEngineDecodes(unittest.TestCase):
    def check(self, data, expected):
        decoded, _ = engine_decode(data)
        self.assertEqual(decoded, expected)

    def test_own_schema_fixed(self):
        for label, msg in FIXED:
            if any(code == 0x03 for _, code, _ in msg['binds']):
                continue
            with self.subTest(label):
                self.check(schema_encode(msg), msg)

    def test_pysnmp_built(self):
        for label, msg in FIXED:
            module = pysnmp_module(msg)
            if module is None:
                continue
            with self.subTest(label):
                self.check(pysnmp_build(module, msg), msg)

    def test_user_based_version_decodes(self):
        msg = request(2, 0xA2, [(SYS_DESCR, 0x02, 5)], community=b'\x01\x04' + bytes(30))
        self.check(schema_encode(msg), msg)

    def test_bit_string_is_reported_and_kept_as_octets(self):
        msg = request(1, 0xA2, [(SYS_DESCR, 0x03, b'\x00\xaa'), (SYS_UPTIME, 0x43, 5)])
        decoded, stderr = engine_decode(schema_encode(msg))
        self.assertEqual(stderr, 'bad type returned (3)\n')
        self.assertEqual(decoded['binds'], [(SYS_DESCR, 0x03, b'\x00\xaa'), (SYS_UPTIME, 0x43, 5)])

    def test_integers_are_read_by_value(self):
        # pyasn1 writes -2^31 with a redundant leading octet; its value is still -2^31.
        data = schema_encode(request(1, 0xA2, [(SYS_DESCR, 0x02, -2 ** 31), (SYS_DESCR, 0x02, 9)]))
        self.assertIn(bytes.fromhex('0205ff80000000'), data)
        decoded, _ = engine_decode(data)
        self.assertEqual(decoded['binds'], [(SYS_DESCR, 0x02, -2 ** 31), (SYS_DESCR, 0x02, 9)])
        # A value beyond the type is no value at all, never 0.
        decoded, _ = engine_decode(schema_encode(request(1, 0xA2, [(SYS_DESCR, 0x02, 2 ** 31)])))
        self.assertEqual(decoded['binds'], [(SYS_DESCR, 0x02, None)])

    def test_limits(self):
        longest = (1, 3) + tuple(range(126))
        self.check(schema_encode(request(0, 0xA2, [(longest, 0x05, None)])),
                   request(0, 0xA2, [(longest, 0x05, None)]))
        self.check(schema_encode(request(0, 0xA2, [(SYS_DESCR, 0x06, longest)])),
                   request(0, 0xA2, [(SYS_DESCR, 0x06, longest)]))
        for msg in (request(0, 0xA2, [(longest + (7,), 0x05, None)]),
                    request(0, 0xA2, [], community=b'c' * 257),
                    request(3, 0xA2, [])):
            decoded, _ = engine_decode(schema_encode(msg))
            self.assertIsNone(decoded)
        # An OID value over the limit: the binding is there, its value is not.
        decoded, _ = engine_decode(schema_encode(request(0, 0xA2, [(SYS_DESCR, 0x06, longest + (7,))])))
        self.assertEqual(decoded['binds'], [(SYS_DESCR, 0x06, None)])
        msg = request(0, 0xA2, [], community=b'c' * 256)
        self.check(schema_encode(msg), msg)

    def test_random_messages(self):
        rng = random.Random(19961120)
        for i in range(120):
            msg = random_message(rng, DECODABLE_CODES, pyasn1_built=True)
            with self.subTest(i):
                self.check(schema_encode(msg), msg)


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TOOL = sys.argv.pop(1)
    unittest.main()
