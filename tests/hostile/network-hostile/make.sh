# Writes network.ini: a few odd interfaces, then enough of everything to overflow fixed tables.
set -eu
python3 - "$1/network.ini" <<'PY'
import sys
out = open(sys.argv[1], 'w', newline='\n', encoding='latin-1')
out.write('[Parameters]\nHostName=\nDomainName=\nEnableDns=yes\nNodeType=4294967295\n')
for i in range(100):
    out.write('DnsServer=10.%d.%d.53\n' % (i // 250, i % 250))
odd = [
    ('', '', '', 6, 0, 0, 'up', ''),
    ('\\DEVICE\\bell\x07', 'esc\x1b[0m\x01\x02<b>&amp;"quote"', '{BELL}', 6, 4294967295, 4294967295, 'up',
     '00-11-22-33-44-55-66-77'),
    ('N' * 300, 'D' * 300, 'A' * 300, 71, 1, 4294967295, 'disconnected', 'ff:ff:ff:ff:ff:ff'),
    ('\\DEVICE\\high\xe9\xff', 'caf\xe9 \x7f\x80\x9f', '{HIGH}', 4294967295, 0, 1, 'down', '00'),
    ('\\DEVICE\\loop', '', '', 24, 65535, 0, 'up', ''),
]
ident = 1
for name, descr, adapter, typ, mtu, speed, status, mac in odd:
    out.write('\n[Interface %d]\n' % ident)
    if name:
        out.write('Name=%s\n' % name)
    if adapter:
        out.write('AdapterName=%s\n' % adapter)
    if descr:
        out.write('Description=%s\n' % descr)
    out.write('Type=%d\nMtu=%d\nSpeed=%d\nStatus=%s\n' % (typ, mtu, speed, status))
    if mac:
        out.write('MAC=%s\n' % mac)
    ident += 1
out.write('Address=0.0.0.0/0.0.0.0\nAddress=255.255.255.255/32 deleted transient\n')
for i in range(64):
    out.write('Address=10.9.%d.%d/24 %s\n' % (i // 250, i % 250 + 1, 'dynamic' if i % 2 else 'primary'))
for i in range(40):
    out.write('\n[Interface %d]\nName=\\DEVICE\\TCPIP_{%04d}\nDescription=Filler %d\nMAC=02-00-00-00-%02X-%02X\n'
              'Address=172.16.%d.%d/16\n' % (ident, i, i, i // 256, i % 256, i // 250, i % 250 + 1))
    ident += 1
out.write('\n[Routes]\n')
for i in range(100):
    out.write('Route=192.168.%d.0/24 10.9.0.1 %d %d\n' % (i % 256, 6 + i % 40, i))
out.write('Route=0.0.0.0/0 0.0.0.0 1 4294967295 4294967295\n')
PY
