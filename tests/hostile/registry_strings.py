#!/usr/bin/env python3
# Writes a registry.reg in which every registry string the program reads into a fixed buffer holds
# CHARS characters, stored with or without its terminator.
#
#   registry_strings.py REGISTRY_REG CHARS yes|no
import sys

path, chars, terminated = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "yes"
values = [
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion",
     ["ProductName", "CurrentVersion", "RegisteredOrganization"]),
    (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\ProductOptions", ["ProductType"]),
    (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName", ["ComputerName"]),
    (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\UUID\C3681B60-0D26-11D3-8319-00A0C9B61E25",
     ["Quillmont SNMP Agents", "Ravelin"]),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Brennock\#Setup", ["FileRoot"]),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Brennock\#Status", ["ServerAgent", "StorageAgent"]),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Brennock\Management\Ravelin\Setup", ["FileRoot", "BinRoot"]),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Brennock\Management\Ravelin\Loader\ModuleStatus",
     ["RvSmbios", "RvPciScan", "RvStorage", "RvPower"]),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Brennock\Management\Ravelin\RvStorage", ["CurrentVersion"]),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Brennock\ServerAgent\CurrentVersion", ["Pathname"]),
    (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\PermittedManagers", ["3"]),
    (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Eventlog\Application\Ravelind", ["EventMessageFile"]),
    (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Eventlog\System\Fennock", ["EventMessageFile"]),
]
lines = ["Windows Registry Editor Version 5.00", ""]
for key, names in values:
    lines.append("[%s]" % key)
    for name in names:
        # A path-like start, then one letter to the length: long paths and long texts at once.
        text = ("C:\\Quillmont\\" + name + "\\").ljust(chars, "q")[:chars]
        data = text.encode("utf-16-le") + (b"\0\0" if terminated else b"")
        lines.append('"%s"=hex(1):%s' % (name, ",".join("%02x" % b for b in data)))
    lines.append("")
with open(path, "w", newline="\r\n") as out:
    out.write("\n".join(lines) + "\n")
