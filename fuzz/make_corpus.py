#!/usr/bin/python3
"""Writes the starting corpora of the fuzz targets into fuzz/corpus/<target>/.

Usage: make_corpus.py PATH_TO_codec_tool PATH_TO_seed_tool

Messages come from the cross-check's message tables (encoded by the engine,
by pysnmp and by the pyasn1 schema there), BER elements from the unit tests'
tables, and PDU descriptions for the encoder from a fixed random sequence.
The user-based and SNMPv3 targets get what seed_tool prints: genuine
authenticated messages that the engine (or, for SNMPv3, the test agent)
encodes in the agent's role, near misses of each check, and parameters
strings; the OID text target formatOidText's texts
and the edge cases below; the security-string target the strings below.
Files are named by content hash, so running it again adds nothing twice.
Inputs that made a target fail are added by hand under the same naming.
"""
import hashlib
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'crosscheck'))
import test_pyasn1 as messages  # noqa: E402


def write(target, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, hashlib.sha1(data).hexdigest()[:16])
    with open(path, 'wb') as out:
        out.write(data)


def decode_inputs():
    for _, msg in messages.FIXED:
        yield messages.engine_encode(msg)
        if not any(code == 0x03 for _, code, _ in msg['binds']):
            yield messages.schema_encode(msg)
        module = messages.pysnmp_module(msg)
        if module is not None:
            yield messages.pysnmp_build(module, msg)
    rng = random.Random(7)
    for _ in range(20):
        yield messages.engine_encode(messages.random_message(rng, sorted(messages.TYPES)))
    # A few that fail in different places.
    for text in ('30 80 02 01 00', '30 84 ff ff ff f0 02 01 00', '30 03 02 01 03',
                 '30 0b 02 01 00 04 00 a2 04 02 05 00 00 00 00 01',
                 '30 13 02 01 01 04 01 70 a2 0b 02 01 01 02 01 00 02 01 00 31 00'):
        yield bytes.fromhex(text)


ELEMENTS = [
    '02 01 00', '02 01 ff', '02 04 7f ff ff ff', '02 05 00 00 00 00 01', '02 00',
    '41 05 00 ff ff ff ff', '41 01 ff', '46 09 00 80 00 00 00 00 00 00 00', '46 01 ff',
    '04 06 70 75 62 6c 69 63', '04 81 01 41', '06 07 2b 06 01 04 01 82 37', '06 00',
    '06 02 81 34', '06 05 8f ff ff ff 7f', '06 06 2b 90 80 80 80 00', '06 02 2b 86',
    '30 84 00 00 00 01 00', '30 80 00', '1f 00', '85 00 00 00 00 05',
    '30 82 00 0c 06 08 2b 06 01 02 01 01 03 00 05 00',
    '30 10 06 08 2b 06 01 02 01 01 01 00 04 04 61 62 63 64',
    '30 0d 02 01 00 04 06 70 75 62 6c 69 63 a0 00',
]


# The text form's edge cases: prefixes in any case, a final dot, the faults a
# text can have, wrapping numbers, 256 and 257 sub-identifiers, a zero inside.
OID_TEXTS = [
    'system', 'SYSTEM.1.0', 'ifentry.2', 'ifEntry', 'internet', 'mib-2.1.7', 'enterprises.9.9.42',
    'Enterprises', '1.3.', '.1.3', '1..3', '1.3.x', 'systemx', '1.3.system', 'system..1',
    '1.4294967295', '1.4294967296', '99999999999999999999999', '+1.3', ' 1.3', '1.3 ', '0.0',
    '.'.join(['1'] * 256), '.'.join(['1'] * 256) + '.', '.'.join(['1'] * 257), '1.3\x006.1',
]

HEX32 = '000102030405060708090a0b0c0d0e0f'

# Security strings: each part present or missing, keys as hexadecimal, pass
# phrases and faults, parts at and over their members' sizes.
SECURITY_STRINGS = [
    '/user', '/user/', '/user/0x' + HEX32, '/user/0x', '/user/0X' + HEX32, '/user/secret/',
    '/user//priv', '/user/a/b/ctx', '/user/a/b/ctx/ignored', '/user///', '/', '//secret',
    '/user/0x' + HEX32 + '0', '/user/0x' + HEX32[1:], '/user/0x' + HEX32[:30] + 'g0',
    '/user/0x' + HEX32[:30] + '0g', '/user/0x' + HEX32[:30] + ' 1', '/user/0x' + HEX32[:30] + '-1',
    '/user/a/0x12', '/user/a/0x' + HEX32[:30] + 'zz', '/user//0x' + HEX32 + '/c',
    '/' + 'u' * 31, '/' + 'u' * 32, '/user///' + 'c' * 72, '/user///' + 'c' * 73,
    'plain', '+/user/secret', '', '/user\x00/secret',
]


def seed_tool_inputs(tool):
    out = subprocess.run([tool], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        target, _, data = line.partition(' ')
        yield target, bytes.fromhex(data)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    messages.TOOL = sys.argv[1]
    for target, data in seed_tool_inputs(sys.argv[2]):
        write(target, data)
    for text in OID_TEXTS:
        write('fuzz_oid_text', text.encode('latin-1'))
    for text in SECURITY_STRINGS:
        write('fuzz_security_string', text.encode('latin-1'))
    for data in decode_inputs():
        write('fuzz_decode_message', data)
    for i, text in enumerate(ELEMENTS):
        for capacity in (2, 64, 69):
            write('fuzz_ber_parse', bytes([capacity + 70 * (i % 3)]) + bytes.fromhex(text))
    rng = random.Random(11)
    for size in (0, 1, 8, 16, 40, 64, 100, 200, 400, 800, 1600, 3000):
        for _ in range(2):
            write('fuzz_encode_message', bytes(rng.randrange(256) for _ in range(size)))


if __name__ == '__main__':
    main()
