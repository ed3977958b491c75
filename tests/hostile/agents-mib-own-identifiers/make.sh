# Writes baseservice.ini: the default's server and event log with a status tree the MIB names its own way.
set -eu
python3 - "$TRIAGIST_BASE_PROFILE/baseservice.ini" "$1/baseservice.ini" <<'PY'
import sys
base = open(sys.argv[1], encoding='latin-1').read()
out = open(sys.argv[2], 'w', newline='\n', encoding='latin-1')
out.write(base[:base.index('[Subsystem]')])
out.write('''[Subsystem]
Name=Environment
Description=Fans and the front panel
Component=1|yes|FAN1 SYS|System fan 1|fan.1
Component=2|yes|FAN2 SYS|System fan 2|fan.2
Component=3|no|Ambient|Front panel temperature|temp.front
ComponentList=temp.front fan.2 fan.1

[Subsystem]
Name=Power
Description=Supplies
Component=1|no|PSU1|Power supply 1
Component=4|no|PSU2|Power supply 2
ComponentList=2.2 2.1 2.1

[StatusMib]
StatusType=fan.2|gauge
StatusType=temp.front|string
StatusType=2.2|counter

''')
out.write(base[base.index('[Event]'):])
PY
