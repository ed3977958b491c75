# Writes firmware/smbios.bin: a BIOS and a system, then 255 structures of length 0 that the count includes.
set -eu
mkdir -p "$1/firmware"
python3 "$(dirname "${BASH_SOURCE[0]}")/../smbios_table.py" "$1/firmware/smbios.bin" zero-length-tail
