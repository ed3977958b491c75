# Writes firmware/pci.txt: lspci -x text with junk lines, bad offsets, odd hex and functions out of range.
set -e
mkdir -p "$1/firmware"
python3 - "$1/firmware/pci.txt" <<'PY'
import random, sys
random.seed(6)
lines = ['00:00.0 Host bridge: header only', '00: 86 80 d8 25 47 01 10 00 b1 00 00 06 10 00 80 00',
         'zz:zz.z not a function', '00:1f.9 function nine', '00: ff ff', 'ff:1f.7 last one',
         '00: 86 80 ' + ' '.join('%02x' % random.randrange(256) for _ in range(300)),
         '40: 12 34', 'f0: xx yy zz', '1000: 00 11', '00:02.0 Bridge', '00: 86 80 e1 25 07 01 10 00 01 00 04 06 10 00 81 00',
         '10: 00 00 00 00 00 00 00 00 00 07 07 00 f1 01 00 00',
         '\x07\x1b garbage \xff line', '']
lines += ['%02x:%02x.%d random' % (random.randrange(256), random.randrange(32), random.randrange(8)) + '\n00: ' +
          ' '.join('%02x' % random.randrange(256) for _ in range(64)) for _ in range(40)]
open(sys.argv[1], 'w', encoding='latin-1').write('\n'.join(lines) + '\n')
PY
