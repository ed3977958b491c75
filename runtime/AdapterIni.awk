# Turns the PCI ID database (pci.ids) into Adapter.ini: one section per vendor ("%04X") with its
# name under "Vendor", device names under "%04X" and subsystem names under "%04X%04X" (device id,
# subsystem id), into the file named by -v out=FILE. Subsystem vendors are not part of the key,
# so when several subsystem vendors use the same device and subsystem id, the first one listed in
# pci.ids gives the name.
BEGIN {
    print "; Vendor and device names for Triagist's PCI device list, generated from pci.ids" > out
    print "; (the PCI ID database, https://pci-ids.ucw.cz/). A device and subsystem id that several" > out
    print "; subsystem vendors share takes the name of the first one pci.ids lists." > out
    vendor = ""
}
/^C / { exit }            # the device classes follow the vendors
/^#/ || /^[ \t]*$/ { next }
/^[0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]  / {
    vendor = toupper(substr($0, 1, 4))
    printf "\n[%s]\nVendor=%s\n", vendor, substr($0, 7) > out
    delete seen
    next
}
/^\t[0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]  / {
    device = toupper(substr($0, 2, 4))
    printf "%s=%s\n", device, substr($0, 8) > out
    next
}
/^\t\t[0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F] [0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]  / {
    key = device toupper(substr($0, 8, 4))
    if (!(key in seen)) {
        seen[key] = 1
        printf "%s=%s\n", key, substr($0, 14) > out
    }
}
