# Writes baseservice.ini: the default's server and event log with one subsystem of 300 components.
set -eu
python3 - "$TRIAGIST_BASE_PROFILE/baseservice.ini" "$1/baseservice.ini" <<'PY'
import sys
base = open(sys.argv[1], encoding='latin-1').read()
out = open(sys.argv[2], 'w', newline='\n', encoding='latin-1')
out.write(base[:base.index('[Subsystem]')])
out.write('[Subsystem]\nName=Environment\nDescription=Fans\n')
for i in range(300):
    out.write('Component=%d|yes|FAN%d|Fan %d\n' % (1 + i % 3, i, i))
out.write('\n' + base[base.index('[Event]'):])
PY
