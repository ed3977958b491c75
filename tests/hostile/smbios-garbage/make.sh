# Writes firmware/smbios.bin: a valid entry point before 4 KB of pseudo-random bytes that it counts as 400 structures.
set -e
mkdir -p "$1/firmware"
python3 - "$1/firmware/smbios.bin" <<'PY'
import random, struct, sys
random.seed(16)
table = bytes(random.randrange(256) for _ in range(4096))
ep = bytearray(0x1F)
ep[0:4] = b'_SM_'; ep[5] = 0x1F; ep[6] = 2; ep[7] = 5
ep[0x10:0x15] = b'_DMI_'
struct.pack_into('<HIH', ep, 0x16, len(table), 0x20, 400)
ep[0x1E] = 0x25
ep[0x15] = (-sum(ep[0x10:0x1F])) & 0xFF
ep[4] = (-sum(ep)) & 0xFF
open(sys.argv[1], 'wb').write(bytes(ep) + bytes(1) + table)
PY
