# Sourced by the runners: lays a hostile profile folder over the installed default profile, and removes
# a run's outputs.
#
#   assemble_profile SOURCE_DIR PROFILE BASE MAKE_LOG
#
# Copies SOURCE_DIR without the runner's own files to PROFILE, names BASE in its lab.ini and runs its
# make.sh there (its output in MAKE_LOG). On a failure it prints the reason in a line and returns 1.
assemble_profile() {
    local source_dir=$1 profile=$2 base=$3 make_log=$4
    if [ -f "$source_dir/lab.ini" ] && grep -q -i '^[[:space:]]*\[Profile\]' "$source_dir/lab.ini"; then
        echo "lab.ini has a [Profile] section; the runner names the base itself"
        return 1
    fi
    cp -R "$source_dir" "$profile" || { echo "cannot copy the profile"; return 1; }
    rm -f "$profile/make.sh" "$profile/README" "$profile/expect.txt"
    {
        [ -f "$source_dir/lab.ini" ] && cat "$source_dir/lab.ini" && echo
        printf '[Profile]\nBase=%s\n' "$base"
    } >"$profile/lab.ini.new" && mv "$profile/lab.ini.new" "$profile/lab.ini"

    if [ -f "$source_dir/make.sh" ]; then
        if ! (cd "$profile" && TRIAGIST_BASE_PROFILE="$base" bash "$source_dir/make.sh" "$profile") \
            >"$make_log" 2>&1; then
            echo "make.sh failed (its output is in $make_log)"
            return 1
        fi
    fi
}

# snmpd, ended by its keeper once the program is gone, may still be saving its state in DIR for a moment.
#
#   remove_outputs DIR
remove_outputs() {
    local try
    for try in 1 2 3 4 5 6 7 8 9; do
        rm -rf "$1" 2>/dev/null && return 0
        sleep 0.2
    done
    rm -rf "$1"
}
