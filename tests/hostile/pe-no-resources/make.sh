# Copies the default profile's PE files into the overlay and takes their resources away.
set -eu
damage="python3 $(dirname "${BASH_SOURCE[0]}")/../pe_damage.py"
bin='Program Files/Quillmont/Ravelin/Bin'
place() { mkdir -p "$(dirname "$1/drive_c/$2")" && cp "$TRIAGIST_BASE_PROFILE/drive_c/$2" "$1/drive_c/$2"; }
while read -r how type file; do
    place "$1" "$file"
    $damage "$how" "$1/drive_c/$file" "$type"
done <<LIST
no-resources - $bin/Ravelind.exe
rename-type 16 $bin/Vexil.dll
no-resources - $bin/RvSmbios.dll
rename-type 16 $bin/RvStorage.dll
no-resources - $bin/Update/RvStorage.dll
rename-type 16 $bin/Fennock.sys
rename-type 11 $bin/RvEvents.dll
no-resources - Windows/system32/services.exe
rename-type 11 Windows/system32/snmp.exe
no-resources - Program Files/Quillmont/Agents/QmSrvAgt.dll
rename-type 16 Program Files/Quillmont/Agents/QmStoAgt.dll
LIST
