# Writes firmware/smbios.bin: a valid entry point before 4 KB of pseudo-random bytes that it counts as 400 structures.
set -eu
mkdir -p "$1/firmware"
python3 "$(dirname "${BASH_SOURCE[0]}")/../smbios_table.py" "$1/firmware/smbios.bin" garbage
