#!/bin/bash
# Writes eventlog/Application.txt and eventlog/System.txt: product records with enormous insertion
# strings (one of 65,000 characters, one record of ten strings of 40,000) and many insertion strings.
set -euo pipefail
mkdir -p "$1/eventlog"
python3 - "$1/eventlog" <<'PY'
import sys

folder = sys.argv[1]


def record(time, kind, source, event_id, strings):
    lines = ["[Record]", "Time=" + time, "Type=" + kind, "Source=" + source, "EventID=" + event_id]
    lines += ["String=" + text for text in strings]
    return "\n".join(lines) + "\n\n"


with open(folder + "/Application.txt", "w") as out:
    out.write(record("2026-03-02 07:58:44", "Error", "Ravelind", "0xC0000064",
                     ["RvRemote.dll " * 5000, "126"]))
    out.write(record("2026-03-02 07:58:45", "Warning", "Ravelind", "0x80000065",
                     [("%%1 %2 %s %n <&> " * 2500)[:40000] for _ in range(10)]))
    out.write(record("2026-03-02 07:59:02", "Error", "VexilServer", "0xC0000064",
                     ["x" * 65000, "193"]))
with open(folder + "/System.txt", "w") as out:
    out.write(record("2026-03-02 08:01:10", "Error", "Fennock", "0xC0000067",
                     ["insert %d" % i for i in range(2000)]))
PY
