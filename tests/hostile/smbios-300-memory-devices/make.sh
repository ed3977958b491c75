# Writes firmware/smbios.bin: a BIOS, a system and 300 memory devices, in the dmidecode --dump-bin layout.
set -eu
mkdir -p "$1/firmware"
python3 "$(dirname "${BASH_SOURCE[0]}")/../smbios_table.py" "$1/firmware/smbios.bin" many-memory
