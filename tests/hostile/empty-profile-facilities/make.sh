# An empty SMBIOS dump beside the other empty files (git keeps no empty binary worth committing).
set -eu
: >"$1/firmware/smbios.bin"
