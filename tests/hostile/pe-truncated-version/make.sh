# Copies the default profile's PE files into the overlay and damages their version resources.
set -eu
damage="python3 $(dirname "${BASH_SOURCE[0]}")/../pe_damage.py"
bin='Program Files/Quillmont/Ravelin/Bin'
place() { mkdir -p "$(dirname "$1/drive_c/$2")" && cp "$TRIAGIST_BASE_PROFILE/drive_c/$2" "$1/drive_c/$2"; }
while read -r how file; do
    place "$1" "$file"
    $damage "$how" "$1/drive_c/$file"
done <<LIST
cut-version $bin/Ravelind.exe
cut-version $bin/Vexil.dll
version-length $bin/RvSmbios.dll
strings-overrun $bin/RvPciScan.dll
values-unended $bin/RvStorage.dll
values-unended $bin/Update/RvStorage.dll
cut-version $bin/RvPower.dll
strings-overrun $bin/Gorrel.sys
version-length $bin/Fennock.sys
cut-version Program Files/Quillmont/Agents/QmSrvAgt.dll
values-unended Program Files/Quillmont/Agents/QmStoAgt.dll
version-length Windows/system32/inetmib1.dll
LIST
