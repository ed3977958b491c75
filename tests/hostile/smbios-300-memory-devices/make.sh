# Writes firmware/smbios.bin: a BIOS, a system and 300 memory devices, in the dmidecode --dump-bin layout.
set -e
mkdir -p "$1/firmware"
python3 - "$1/firmware/smbios.bin" <<'PY'
import struct, sys
def structure(kind, handle, data, strings):
    body = bytes([kind, 4 + len(data)]) + struct.pack('<H', handle) + bytes(data)
    text = b''.join(s.encode() + b'\0' for s in strings) or b'\0'
    return body + text + b'\0'
table = structure(0, 0, [1, 2, 0, 0xF0, 3, 0x0F], ['Brennock', 'R300.9.99.0', '01/02/2026'])
table += structure(1, 1, [1, 2, 3, 4] + [0] * 17, ['Calder', 'RX300 S9', 'Z1', 'YK0000000'])
for i in range(300):
    table += structure(17, 0x1100 + i, [0, 0x10, 0xFE, 0xFF, 72, 0, 64, 0, 0, 4, 9, 0, 1, 2, 0x13, 0x80, 0, 0x9B, 2],
                       ['DIMM %d' % i, 'Bank %d' % (i // 8)])
table += structure(127, 0x7F00, [], [])
count = 303
ep = bytearray(0x1F)
ep[0:4] = b'_SM_'; ep[5] = 0x1F; ep[6] = 2; ep[7] = 5
ep[0x10:0x15] = b'_DMI_'
struct.pack_into('<HIH', ep, 0x16, len(table), 0x20, count)
ep[0x1E] = 0x25
ep[0x15] = (-sum(ep[0x10:0x1F])) & 0xFF
ep[4] = (-sum(ep)) & 0xFF
open(sys.argv[1], 'wb').write(bytes(ep) + bytes(1) + table)
PY
