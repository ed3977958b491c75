#!/usr/bin/env bash
# Runs the installed program's unattended diagnosis on one hostile profile and checks that it coped:
# it ends in time with exit code 0, its report is well-formed and valid for libxml2, the HTML page is
# there, the expected strings are in the report, and neither the sanitizers nor the lab complained.
#
#   run_profile.sh DIST_DIR SCHEMA PROFILE_DIR OUT_DIR [SECONDS]
#
# PROFILE_DIR is a folder of tests/hostile (an overlay on the default profile, see README). Everything
# the run leaves is in OUT_DIR, which is removed when the profile passes and kept when it fails.

set -u

dist=${1:?usage: run_profile.sh DIST_DIR SCHEMA PROFILE_DIR OUT_DIR [SECONDS]}
schema=${2:?}
source_dir=${3:?}
out=${4:?}
seconds=${5:-100}
name=$(basename "$source_dir")
base="$dist/lab/default"

failures=0
fail() { failures=$((failures + 1)); printf 'FAIL %s: %s\n' "$name" "$*"; }
# Stops at once when nothing further can be checked.
abort() { fail "$@"; printf 'outputs kept in %s\n' "$out"; exit 1; }
. "$(dirname "$0")/assemble_profile.sh"

for tool in xmllint timeout; do
    command -v "$tool" >/dev/null 2>&1 || abort "$tool is not installed"
done
[ -x "$dist/triagist" ] || abort "no installed program at $dist/triagist"
[ -d "$base" ] || abort "no default profile at $base"

remove_outputs "$out"
mkdir -p "$out/state" "$out/temp" "$out/cwd" || abort "cannot make $out"
profile="$out/profile"

# The overlay on top of the installed default profile.
if ! message=$(assemble_profile "$source_dir" "$profile" "$base" "$out/make.log"); then
    [ -f "$out/make.log" ] && sed 's/^/    /' "$out/make.log"
    abort "$message"
fi

# The program finds XML/, HTML/, Xalan/ and Adapter.ini in its current directory.
for entry in "$dist"/*; do
    case $(basename "$entry") in triagist | lab) ;; *) ln -s "$entry" "$out/cwd/" ;; esac
done

# A sanitizer report must end the run with a code of its own, whatever it found.
start=$SECONDS
(
    cd "$out/cwd" &&
        TRIAGIST_LAB="$profile" TRIAGIST_LAB_STATE="$out/state" TMPDIR="$out/temp" \
            TRIAGIST_LAB_DEBUG_OUTPUT="$out/debug.txt" \
            ASAN_OPTIONS="halt_on_error=1:exitcode=86:detect_leaks=1" \
            UBSAN_OPTIONS="halt_on_error=1:exitcode=87:print_stacktrace=1" \
            timeout -k 5 "$seconds" "$dist/triagist" -DIAG -XMLREPORT report.xml -HTMLREPORT report.html \
            </dev/null >"$out/stdout.txt" 2>"$out/stderr.txt"
)
rc=$?
elapsed=$((SECONDS - start))

case $rc in
    0) ;;
    124 | 137) abort "no end within ${seconds} s (hang)" ;;
    86) fail "AddressSanitizer or LeakSanitizer report (exit code 86)" ;;
    87) fail "UndefinedBehaviorSanitizer report (exit code 87)" ;;
    *) fail "exit code $rc" ;;
esac
# The stylesheet processor runs under the sanitizers too; its reports reach only standard error.
if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: [A-Za-z]+Sanitizer' "$out/stderr.txt"; then
    fail "sanitizer report on standard error:"
    grep -E 'ERROR: |runtime error:|SUMMARY: ' "$out/stderr.txt" | head -5 | sed 's/^/    /'
fi
if grep -q '^lab: ' "$out/stderr.txt"; then
    fail "the lab did not take the profile as written (a profile error, not a program fault):"
    grep '^lab: ' "$out/stderr.txt" | head -5 | sed 's/^/    /'
fi

report="$out/cwd/report.xml"
if [ ! -s "$report" ]; then
    fail "no XML report written"
elif ! lint=$(xmllint --noout "$report" 2>&1); then
    fail "the XML report is not well-formed:"
    printf '%s\n' "$lint" | head -5 | sed 's/^/    /'
elif ! lint=$(xmllint --noout --schema "$schema" "$report" 2>&1); then
    fail "the XML report is not valid against $(basename "$schema"):"
    printf '%s\n' "$lint" | grep -v ' validates$' | head -5 | sed 's/^/    /'
fi
[ -s "$out/cwd/report.html" ] || fail "no HTML page written"

if [ -f "$source_dir/expect.txt" ] && [ -s "$report" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        [ -z "$line" ] && continue
        grep -q -F -- "$line" "$report" || fail "the report lacks: $line"
    done <"$source_dir/expect.txt"
fi

if [ "$failures" -ne 0 ]; then
    printf 'outputs kept in %s\n' "$out"
    exit 1
fi
printf 'PASS %s (%d s)\n' "$name" "$elapsed"
remove_outputs "$out"
