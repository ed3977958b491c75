# Writes baseservice.ini: the default's server, then a status tree with counts that wrap and lists that lie.
# The SNMP service is stopped: the agents' status MIB would serve the same tree (agents-many-components).
set -eu
sed '/^\[SNMP\]/,/^\[/s/^State=running/State=stopped/' "$TRIAGIST_BASE_PROFILE/services.ini" >"$1/services.ini"
python3 - "$TRIAGIST_BASE_PROFILE/baseservice.ini" "$1/baseservice.ini" <<'PY'
import sys
base = open(sys.argv[1], encoding='latin-1').read()
head = base[:base.index('[Subsystem]')]
out = open(sys.argv[2], 'w', newline='\n', encoding='latin-1')
out.write(head)
# 300 components: the one-byte count says 44.
out.write('[Subsystem]\nName=Environment\nDescription=Fans\n')
for i in range(300):
    out.write('Component=%d|%s|FAN%d|Fan %d\n' % (1 + i % 3, 'yes' if i % 2 else 'no', i, i))
out.write('\n[Subsystem]\nName=\nDescription=\nComponent=0|no||\nComponent=255|yes||\nComponent=1|no| | \n')
out.write('\n[Subsystem]\nName=Only empty slots\n')
for i in range(256):
    out.write('Component=0|no|Slot %d|\n' % i)
out.write('\n[Subsystem]\nName=Listed but absent\nComponentList=9.9 9.10  1.1 nowhere  \n')
out.write('\n[Subsystem]\nName=No components\nDescription=Nothing here\n')
# 262 subsystems in all: the count byte says 6.
for i in range(257):
    out.write('\n[Subsystem]\nName=Extra %d\nComponent=2|yes|X%d|Extra component\n' % (i, i))
out.write('\n' + base[base.index('[Event]'):])
PY
