# Writes firmware/pci.txt in lspci -x form: bridges whose bus numbers point back or nowhere, then
# functions of random configuration space all over the buses.
set -e
mkdir -p "$1/firmware"
python3 - "$1/firmware/pci.txt" <<'PY'
import random, sys
random.seed(6)

def function(bus, device, func, header):
    rows = ['%02x:%02x.%d Hostile function' % (bus, device, func)]
    rows += ['%02x: ' % offset + ' '.join('%02x' % b for b in header[offset:offset + 16]) for offset in range(0, 64, 16)]
    return rows

def bridge(primary, secondary, subordinate):
    header = [0x86, 0x80, 0xe1, 0x25, 0x07, 0x01, 0x10, 0x00, 0x01, 0x00, 0x04, 0x06, 0x10, 0x00, 0x81, 0x00]
    header += [0] * 8 + [primary, secondary, subordinate] + [0] * 37
    return header

lines = function(0, 0, 0, [0x86, 0x80, 0xd8, 0x25, 0x47, 0x01, 0x10, 0x00, 0xb1, 0x00, 0x00, 0x06] + [0] * 52)
lines += function(0, 1, 0, bridge(0, 0, 0))        # a bridge to its own bus
lines += function(0, 2, 0, bridge(0, 0xff, 0x01))  # subordinate below secondary
lines += function(0, 3, 0, bridge(7, 3, 3))        # a primary bus it is not on
lines += function(0x10, 4, 0, bridge(0x10, 0x10, 0xff))
for _ in range(60):
    lines += function(random.randrange(256), random.randrange(32), random.randrange(8),
                      [random.randrange(256) for _ in range(64)])
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
PY
