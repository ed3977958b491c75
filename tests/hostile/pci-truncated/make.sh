# Writes firmware/pci.txt: the sample server's functions, each cut after a few bytes of its header.
set -e
mkdir -p "$1/firmware"
printf '%s\n' '00:00.0 Host bridge' '00: 86 80 d8 25' '00:02.0 PCI bridge' '00: 86 80 e1 25 07 01 10 00 01 00 04 06 10 00 81' \
  '01:00.0 RAID bus controller' '00: 00 10 60 00 47 01 10 00 00 00 04 01 10 00 00 00' '10: 01 d0' '02:00.0 Ethernet' \
  '00: 86 80 5e 10 07 01 10 00 06 00 00 02 10 00 80' '02:00.1 Ethernet' > "$1/firmware/pci.txt"
