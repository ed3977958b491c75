# Copies the default profile's PE files into the overlay and overwrites them with garbage.
set -eu
damage="python3 $(dirname "${BASH_SOURCE[0]}")/../pe_damage.py"
bin='Program Files/Quillmont/Ravelin/Bin'
place() { mkdir -p "$(dirname "$1/drive_c/$2")" && cp "$TRIAGIST_BASE_PROFILE/drive_c/$2" "$1/drive_c/$2"; }
seed=1
while read -r how file; do
    place "$1" "$file"
    case $how in
        empty) : >"$1/drive_c/$file" ;;
        text) printf 'MZ\r\nnot an image\x00\x07\x1b\r\n' >"$1/drive_c/$file" ;;
        *) $damage "$how" "$1/drive_c/$file" $seed ;;
    esac
    seed=$((seed + 1))
done <<LIST
garbage $bin/Ravelind.exe
garbage-body $bin/Vexil.dll
empty $bin/RvSmbios.dll
text $bin/RvPciScan.dll
garbage-body $bin/RvStorage.dll
garbage $bin/Update/RvStorage.dll
garbage-body $bin/RvPower.dll
garbage $bin/Gorrel.sys
garbage-body $bin/RvEvents.dll
garbage Windows/system32/services.exe
garbage-body Windows/system32/snmp.exe
garbage Program Files/Quillmont/Agents/QmSrvAgt.dll
garbage-body Program Files/Quillmont/Agents/QmStoAgt.dll
text Windows/system32/inetmib1.dll
LIST
