"""Damages a copy of a PE file in one of the ways a broken installation leaves them.

    python3 pe_damage.py HOW FILE [ARG]

HOW is one of:
  cut-version      cut the file off inside its version resource (ARG: bytes kept of it, default 40)
  version-length   the version block claims far more bytes than the resource holds
  strings-overrun  the string table's block claims more than its parent block holds
  values-unended   every version string is cut to run into the next without its terminator
  no-resources     the resource directory entry of the header is cleared
  rename-type      the resource type ARG (default 16, the version) is renamed so it is not found
  garbage          the whole file is overwritten with random bytes (ARG: seed), keeping its size
  garbage-body     the headers stay, everything after them is random bytes (ARG: seed)
"""
import random
import struct
import sys


def u16(data, at):
    return struct.unpack_from('<H', data, at)[0]


def u32(data, at):
    return struct.unpack_from('<I', data, at)[0]


def headers(data):
    """The offsets of the optional header, its data directories and the section table."""
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b'PE\0\0':
        sys.exit('not a PE image')
    sections = u16(data, pe + 6)
    optional_size = u16(data, pe + 20)
    optional = pe + 24
    directories = optional + (112 if u16(data, optional) == 0x20B else 96)
    return directories, optional + optional_size, sections


def resource_root(data):
    directories, table, sections = headers(data)
    rva = u32(data, directories + 2 * 8)
    for i in range(sections):
        at = table + 40 * i
        virtual, size, raw = u32(data, at + 12), u32(data, at + 16), u32(data, at + 20)
        if virtual <= rva < virtual + size:
            return raw + rva - virtual
    sys.exit('no resource section')


def version_block(data):
    at = data.find('VS_VERSION_INFO'.encode('utf-16-le'))
    if at < 6:
        sys.exit('no version resource')
    return at - 6


def main():
    how, path = sys.argv[1], sys.argv[2]
    arg = sys.argv[3] if len(sys.argv) > 3 else None
    data = bytearray(open(path, 'rb').read())
    if how == 'cut-version':
        data = data[:version_block(data) + int(arg or 40)]
    elif how == 'version-length':
        struct.pack_into('<H', data, version_block(data), 0xFFFF)
    elif how == 'strings-overrun':
        at = data.find('StringFileInfo'.encode('utf-16-le'))
        struct.pack_into('<H', data, at - 6, 0xFFF0)
    elif how == 'values-unended':
        # Each string value's terminator and padding become letters, so every value runs on.
        block = version_block(data)
        end = block + u16(data, block)
        at = data.find('StringFileInfo'.encode('utf-16-le'), block)
        for i in range(at, end - 1, 2):
            if data[i] == 0 and data[i + 1] == 0:
                data[i] = ord('Z')
    elif how == 'no-resources':
        directories = headers(data)[0]
        struct.pack_into('<II', data, directories + 2 * 8, 0, 0)
    elif how == 'rename-type':
        root = resource_root(data)
        named, ids = u16(data, root + 12), u16(data, root + 14)
        for i in range(named, named + ids):
            entry = root + 16 + 8 * i
            if u32(data, entry) == int(arg or 16):
                struct.pack_into('<I', data, entry, 0x7FFF)
    elif how in ('garbage', 'garbage-body'):
        rng = random.Random(int(arg or 1))
        start = headers(data)[1] + 40 * headers(data)[2] if how == 'garbage-body' else 0
        data[start:] = bytes(rng.randrange(256) for _ in range(len(data) - start))
    else:
        sys.exit('unknown damage ' + how)
    open(path, 'wb').write(data)


main()
