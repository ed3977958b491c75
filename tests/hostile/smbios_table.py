#!/usr/bin/env python3
# Writes an SMBIOS table in the dmidecode --dump-bin layout (a 2.5 entry point, then the structures)
# in one of the hostile shapes the profiles need.
#
#   smbios_table.py SMBIOS_BIN many-memory|truncated|zero-length-tail|garbage
import random
import struct
import sys


def structure(kind, handle, data, strings):
    body = bytes([kind, 4 + len(data)]) + struct.pack('<H', handle) + bytes(data)
    text = b''.join(s.encode() + b'\0' for s in strings) or b'\0'
    return body + text + b'\0'


def bios_and_system():
    return (structure(0, 0, [1, 2, 0, 0xF0, 3, 0x0F], ['Brennock', 'H420.9.99.0', '01/02/2026']) +
            structure(1, 1, [1, 2, 3, 4] + [0] * 17, ['Calder', 'HM420 S9', 'Z1', 'YK0000000']))


def memory_devices(count):
    return b''.join(structure(17, 0x1100 + i, [0, 0x10, 0xFE, 0xFF, 72, 0, 64, 0, 0, 4, 9, 0, 1, 2, 0x13, 0x80, 0,
                                               0x9B, 2], ['DIMM %d' % i, 'Bank %d' % (i // 8)])
                    for i in range(count))


def entry_point(table_length, count):
    ep = bytearray(0x1F)
    ep[0:4] = b'_SM_'
    ep[5] = 0x1F
    ep[6] = 2
    ep[7] = 5
    ep[0x10:0x15] = b'_DMI_'
    struct.pack_into('<HIH', ep, 0x16, table_length, 0x20, count)
    ep[0x1E] = 0x25
    ep[0x15] = (-sum(ep[0x10:0x1F])) & 0xFF
    ep[4] = (-sum(ep)) & 0xFF
    return bytes(ep) + bytes(1)


def main(path, shape):
    keep = None
    if shape in ('many-memory', 'truncated'):
        table = bios_and_system() + memory_devices(300) + structure(127, 0x7F00, [], [])
        count = 303
        if shape == 'truncated':
            keep = 0x20 + len(table) // 2 + 3  # cut halfway through the table the entry point describes
    elif shape == 'zero-length-tail':
        table = bios_and_system() + bytes(2 * 255)
        count = 2 + 255
    elif shape == 'garbage':
        random.seed(16)
        table = bytes(random.randrange(256) for _ in range(4096))
        count = 400
    else:
        sys.exit('unknown shape ' + shape)
    data = entry_point(len(table), count) + table
    with open(path, 'wb') as out:
        out.write(data[:keep] if keep else data)


main(sys.argv[1], sys.argv[2])
