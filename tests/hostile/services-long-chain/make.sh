# Writes services.ini: the default server's services, then two hundred that depend on SNMP, each on the one before.
set -eu
cp "$TRIAGIST_BASE_PROFILE/services.ini" "$1/services.ini"
previous=SNMP
for i in $(seq -f %03g 1 200); do
    printf '\n[QmLink%s]\nDisplayName=Quillmont Link %d\nType=0x10\nStart=auto\nDependOnService=%s\nState=running\nAccept=0x1\n' \
        "$i" "$((10#$i))" "$previous"
    previous=QmLink$i
done >>"$1/services.ini"
