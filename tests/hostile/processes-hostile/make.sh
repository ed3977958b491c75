# Writes processes.ini: a few odd processes, then filler beyond the 1024 ids the program asks for.
set -eu
python3 - "$1/processes.ini" <<'PY'
import sys
odd = [
    r'"C:\\Windows\\bell\x07esc\x1b[31mvt\x0bff\x0c.exe"',
    r'"C:\\Windows\\nul\x01\x02\x03\x1f\x7f.exe"',
    r'"C:\\Windows\\quote\"lt<gt>amp&apos\x27.exe"',
    r'"C:\\Windows\\high\xe9\xff\x80\x9f.exe"',
    'C:\\' + 'Deep\\' * 130 + 'x.exe',
    'C:\\Windows\\' + 'N' * 700 + '.exe',
    'C:\\Windows\\',
    '\\SystemRoot',
    '\\SystemRoot\\' + 'S' * 600,
    '\\??\\',
    r'"C:\\Windows\\tab\there.exe"',
    'C:\\Program Files\\Quillmont\\Ravelin\\Bin\\Ravelind.exe',
]
with open(sys.argv[1], 'w', newline='\n') as out:
    pid = 8
    for image in odd:
        out.write('[Process]\nPid=%d\nImage=%s\nWorkingSet=4K\nHandles=4294967295\n\n' % (pid, image))
        pid += 4
    out.write('[Process]\nPid=%d\nImage=C:\\Windows\\many.exe\n' % pid)
    for i in range(300):
        out.write('Module=C:\\Windows\\system32\\m%03d.dll\n' % i)
    out.write('WorkingSet=18446744073709551615\nPeakWorkingSet=1\nPageFaults=4294967295\n\n')
    pid += 4
    for i in range(1100):
        out.write('[Process]\nPid=%d\nImage=C:\\Windows\\filler%04d.exe\n\n' % (pid, i))
        pid += 4
PY
