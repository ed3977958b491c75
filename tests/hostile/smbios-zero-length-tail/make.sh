# Writes firmware/smbios.bin: a BIOS and a system, then 255 structures of length 0 that the count includes.
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
table += bytes(2 * 255)
count = 2 + 255
ep = bytearray(0x1F)
ep[0:4] = b'_SM_'; ep[5] = 0x1F; ep[6] = 2; ep[7] = 5
ep[0x10:0x15] = b'_DMI_'
struct.pack_into('<HIH', ep, 0x16, len(table), 0x20, count)
ep[0x1E] = 0x25
ep[0x15] = (-sum(ep[0x10:0x1F])) & 0xFF
ep[4] = (-sum(ep)) & 0xFF
open(sys.argv[1], 'wb').write(bytes(ep) + bytes(1) + table)
PY
