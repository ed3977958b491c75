#!/usr/bin/env bash
# The capture's round trip on one profile: the installed program diagnoses the profile, triagist-capture
# captures it, the program diagnoses the capture, and the two XML reports must be the same bytes but for
# the differences listed below.
#
#   run_roundtrip.sh DIST_DIR SCHEMA KIND PROFILE OUT_DIR
#
# KIND is "overlay" for a folder of tests/hostile (laid over the installed default profile as the hostile
# runner does), "profile" for a whole profile, "live" for a profile whose processes and network are the
# Linux machine's. Everything the run leaves is in OUT_DIR, removed when the profile passes.

set -u

dist=${1:?usage: run_roundtrip.sh DIST_DIR SCHEMA KIND PROFILE OUT_DIR}
schema=${2:?}
kind=${3:?}
source_dir=${4:?}
out=${5:?}
name=$(basename "$source_dir")

failures=0
fail() { failures=$((failures + 1)); printf 'FAIL %s: %s\n' "$name" "$*"; }
abort() { fail "$@"; printf 'outputs kept in %s\n' "$out"; exit 1; }

for tool in xmllint timeout diff; do
    command -v "$tool" >/dev/null 2>&1 || abort "$tool is not installed"
done
for program in triagist triagist-capture; do
    [ -x "$dist/$program" ] || abort "no installed program at $dist/$program"
done

. "$(dirname "$0")/../hostile/assemble_profile.sh"
remove_outputs "$out"
mkdir -p "$out" || abort "cannot make $out"

original="$source_dir"
if [ "$kind" = overlay ]; then
    original="$out/profile"
    if ! message=$(assemble_profile "$source_dir" "$original" "$dist/lab/default" "$out/make.log"); then
        [ -f "$out/make.log" ] && sed 's/^/    /' "$out/make.log"
        abort "$message"
    fi
fi

# Both diagnoses and the capture run on the virtual clock from one start, so that waits for silent agents
# cost no real time and "now" is the same moment for the original and the replay.
clock() {
    mkdir -p "$2" &&
        printf '[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\nProgramPatience=20000\n\n[Profile]\nBase=%s\n' \
            "$1" >"$2/lab.ini"
}

# run TAG PROFILE PROGRAM ARGS...: a program of the dist tree on a profile, with a state of its own.
run() {
    local tag=$1 profile=$2 program=$3
    shift 3
    mkdir -p "$out/$tag/state" "$out/$tag/temp" "$out/$tag/cwd"
    for entry in "$dist"/*; do
        case $(basename "$entry") in triagist | triagist-capture | lab) ;; *) ln -sf "$entry" "$out/$tag/cwd/" ;; esac
    done
    (
        cd "$out/$tag/cwd" &&
            TRIAGIST_LAB="$profile" TRIAGIST_LAB_STATE="$out/$tag/state" TMPDIR="$out/$tag/temp" \
                ASAN_OPTIONS="halt_on_error=1:exitcode=86:detect_leaks=1" \
                UBSAN_OPTIONS="halt_on_error=1:exitcode=87:print_stacktrace=1" \
                timeout -k 5 100 "$dist/$program" "$@" </dev/null >"$out/$tag/stdout.txt" 2>"$out/$tag/stderr.txt"
    )
    local rc=$?
    [ "$rc" -eq 0 ] || fail "$tag: $program ended with exit code $rc"
    if grep -q -E '^lab: |ERROR: (Address|Leak)Sanitizer|runtime error:' "$out/$tag/stderr.txt"; then
        fail "$tag: the lab or a sanitizer complained:"
        grep -E '^lab: |ERROR: |runtime error:' "$out/$tag/stderr.txt" | head -5 | sed 's/^/    /'
    fi
}

diagnose() {
    run "$1" "$2" triagist -DIAG -XMLREPORT report.xml
    local report="$out/$1/cwd/report.xml"
    [ -s "$report" ] || abort "$1: no XML report written"
    xmllint --noout --schema "$schema" "$report" 2>/dev/null || fail "$1: the report is not valid against the schema"
}

start=$SECONDS
clock "$original" "$out/original-clock"
diagnose original "$out/original-clock"
run capture "$out/original-clock" triagist-capture 'Z:'"$out/captured"
[ -f "$out/captured/lab.ini" ] || abort "capture: no profile written"
clock "$out/captured" "$out/captured-clock"
diagnose replay "$out/captured-clock"

# What the comparison leaves out, in one place, each with the reason it cannot be the same.
# - <Date>: the report's creation date, the moment each diagnosis ran.
# - The live profile (KIND live) reads the processes of the Linux machine while the diagnosis runs; the
#   capture freezes them. Between the two diagnoses processes start and end and every counter moves, so
#   <Processes> of OperatingSystem is left out. Everything else is compared, the network included: the
#   report holds the interfaces' configuration (names, addresses, speeds, routes), not their counters,
#   and that stays put over the seconds between the runs.
comparable() {
    if [ "$kind" = live ]; then
        sed -E -e 's|<Date>[^<]*</Date>|<Date/>|' -e '/^<Processes>\r?$/,/^<\/Processes>\r?$/c<Processes/>' "$1"
    else
        sed -E -e 's|<Date>[^<]*</Date>|<Date/>|' "$1"
    fi
}

comparable "$out/original/cwd/report.xml" >"$out/original.xml"
comparable "$out/replay/cwd/report.xml" >"$out/replay.xml"
if ! diff -u "$out/original.xml" "$out/replay.xml" >"$out/report.diff"; then
    fail "the replayed report differs from the original's:"
    head -40 "$out/report.diff" | sed 's/^/    /'
fi

if [ "$failures" -ne 0 ]; then
    printf 'outputs kept in %s\n' "$out"
    exit 1
fi
printf 'PASS %s (%d s)\n' "$name" $((SECONDS - start))
remove_outputs "$out"
