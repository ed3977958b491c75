#!/usr/bin/env bash
# Checks the report schema, the report stylesheet and the start pages against
# the sample reports under tests/data/reports.
#
#   check_reports.sh REPO_ROOT
#
# Valid samples must validate, keep their counters consistent and turn into a
# self-contained HTML page that names the computer and shows every finding.
# Each sample under invalid/ must be well-formed but rejected by the schema,
# for the reason named in its "<!-- expect: ... -->" comment, so that a schema
# rejecting it for some unrelated fault does not pass unnoticed.

set -u

root=${1:?usage: check_reports.sh REPO_ROOT}
xsd="$root/runtime/XML/Status.xsd"
xslt="$root/runtime/XML/Status.xslt"
html_dir="$root/runtime/HTML"
samples="$root/tests/data/reports"

passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); printf 'FAIL: %s\n' "$*"; }

# Runs one named check; the check prints its problems and returns non-zero.
check() {
    local name=$1; shift
    local out
    if out=$("$@" 2>&1); then
        pass
    else
        fail "$name"
        [ -n "$out" ] && printf '%s\n' "$out" | sed 's/^/    /'
    fi
}

for tool in xmllint xsltproc; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed"
        echo "0 passed, 1 failed"
        exit 1
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

xpath() { xmllint --xpath "$1" "$2" 2>/dev/null; }
html_xpath() { xmllint --html --xpath "$1" "$2" 2>/dev/null; }

ERRKIND="translate(name(), 'ERORS', 'erors') = 'errors'"

# --- valid samples ---------------------------------------------------------

schema_valid() {
    xmllint --noout --schema "$xsd" "$1"
}

# The program writes the declaration with a lone LF and every document line
# with CRLF; samples must look like what it writes.
byte_layout() {
    local f=$1
    local first
    first=$(head -n 1 "$f")
    if [ "$first" != '<?xml version="1.0" encoding="ISO-8859-1"?>' ]; then
        echo "first line is not the ISO-8859-1 declaration ending in LF: $first"
        return 1
    fi
    # Every line after the declaration (and the stylesheet instruction) ends in CR.
    if tail -n +2 "$f" | grep -v '^<?xml-stylesheet' | grep -q -v $'\r$'; then
        echo "a document line does not end in CRLF"
        return 1
    fi
}

# Every Count is the running counter of its kind, so the largest Count among
# the kinds counted as errors (or as warnings) equals their messages.
counts_consistent() {
    local f=$1 rc=0
    local emsg wmsg ecount wcount
    emsg=$(xpath "count(/Root/Summary/*[$ERRKIND]/*/Message)" "$f")
    wmsg=$(xpath "count(/Root/Summary/*[not(self::Created)][not($ERRKIND)]/*/Message)" "$f")
    ecount=$(xpath "string(/Root/Summary/*[$ERRKIND]/@Count[not(. < /Root/Summary/*[$ERRKIND]/@Count)])" "$f")
    wcount=$(xpath "string(/Root/Summary/*[not(self::Created)][not($ERRKIND)]/@Count[not(. < /Root/Summary/*[not(self::Created)][not($ERRKIND)]/@Count)])" "$f")
    if [ "$ecount" != "$emsg" ]; then
        echo "error Count $ecount but $emsg error messages"; rc=1
    fi
    if [ "$wcount" != "$wmsg" ]; then
        echo "warning Count $wcount but $wmsg warning messages"; rc=1
    fi
    return $rc
}

renders() {
    local f=$1 rc=0
    local html="$tmp/$(basename "$f" .xml).html"
    if ! xsltproc -o "$html" "$xslt" "$f"; then
        echo "xsltproc failed"
        return 1
    fi
    if [ ! -s "$html" ]; then
        echo "no HTML written"
        return 1
    fi
    local lint
    lint=$(xmllint --html --noout "$html" 2>&1)
    if [ $? -ne 0 ] || [ -n "$lint" ]; then
        echo "HTML does not parse cleanly:"; echo "$lint" | head -5; rc=1
    fi
    if grep -q -i -E '<script|<link|<img|<iframe|src=|url\(' "$html"; then
        echo "HTML refers to external resources"; rc=1
    fi

    local text title computer
    text=$(html_xpath 'normalize-space(/html/body)' "$html")
    title=$(html_xpath 'normalize-space(/html/head/title)' "$html")
    computer=$(xpath 'normalize-space(/Root/Summary/Created/Computer)' "$f")
    if [ -n "$computer" ]; then
        [[ "$title" == *"$computer"* ]] || { echo "title lacks computer name '$computer': $title"; rc=1; }
        [[ "$text" == *"$computer"* ]] || { echo "page lacks computer name '$computer'"; rc=1; }
    fi

    local n i msg
    n=$(xpath 'count(/Root/Summary/*[not(self::Created)]/*/Message)' "$f")
    for ((i = 1; i <= n; i++)); do
        msg=$(xpath "normalize-space((/Root/Summary/*[not(self::Created)]/*/Message)[$i])" "$f")
        [[ "$text" == *"$msg"* ]] || { echo "page lacks message: $msg"; rc=1; }
    done

    local emsg wmsg shown_e shown_w
    emsg=$(xpath "count(/Root/Summary/*[$ERRKIND]/*/Message)" "$f")
    wmsg=$(xpath "count(/Root/Summary/*[not(self::Created)][not($ERRKIND)]/*/Message)" "$f")
    shown_e=$(html_xpath 'string(//*[@id="error-count"])' "$html")
    shown_w=$(html_xpath 'string(//*[@id="warning-count"])' "$html")
    [ "$shown_e" = "$emsg" ] || { echo "page shows $shown_e errors, report has $emsg"; rc=1; }
    [ "$shown_w" = "$wmsg" ] || { echo "page shows $shown_w warnings, report has $wmsg"; rc=1; }

    # Each section present in the report gets its own heading.
    local pair section anchor present shown
    for pair in System:hardware System/SystemEventlog:sel OperatingSystem:os \
                Network:network SNMP:snmp SNMPAgents:agents Ravelin:ravelin; do
        section=${pair%%:*}; anchor=${pair##*:}
        present=$(xpath "count(/Root/$section)" "$f")
        shown=$(html_xpath "count(//*[@id='$anchor'])" "$html")
        # A System element without hardware parts only carries the event log.
        if [ "$section" = System ]; then
            present=$(xpath "count(/Root/System[BIOS or Processor or PCIDevices])" "$f")
        fi
        if [ "$present" != 0 ] && [ "$shown" = 0 ]; then
            echo "section $section is in the report but not on the page"; rc=1
        fi
        if [ "$present" = 0 ] && [ "$shown" != 0 ]; then
            echo "page shows section $section that the report lacks"; rc=1
        fi
    done

    # The last check always writes Ravelin/Tests; without it the run stopped early.
    local complete note
    complete=$(xpath 'count(/Root/Ravelin/Tests)' "$f")
    note=$(html_xpath 'count(//*[@id="incomplete"])' "$html")
    if [ "$complete" = 0 ] && [ "$note" = 0 ]; then
        echo "incomplete report without the incomplete note"; rc=1
    fi
    if [ "$complete" != 0 ] && [ "$note" != 0 ]; then
        echo "complete report marked incomplete"; rc=1
    fi
    return $rc
}

# Beside each finding the page shows what to do, read from the help's
# Findings.xml: known texts by their whole text, texts with numbers by their
# fixed start or end, always within the finding's category. The sample
# every-finding.xml holds each text the checks write, plus two that must get
# no advice: a known text under another category and a known end without its
# number.
advice_beside_findings() {
    local f=$1 rc=0
    local html="$tmp/advice.html"
    xsltproc -o "$html" "$xslt" "$f" || { echo "xsltproc failed"; return 1; }
    local cells="//table[@id='findings']//td[@class='msg']"
    local n i msg todo advised=0
    n=$(html_xpath "count($cells)" "$html")
    [ "$n" -gt 0 ] || { echo "no findings on the page"; return 1; }
    declare -A seen=()
    for ((i = 1; i <= n; i++)); do
        msg=$(html_xpath "normalize-space(($cells)[$i]/text())" "$html")
        todo=$(html_xpath "normalize-space(($cells)[$i]/div[@class='todo'])" "$html")
        case "$msg" in
        "Could not connect to SMBIOS!"|"product specific warning(s) in event log!")
            # The SMBIOS text also stands under Eventlog in the sample; only the SMBIOS one has advice.
            if [ "$msg" = "product specific warning(s) in event log!" ] || [ -n "${seen[$msg]+x}" ]; then
                [ -z "$todo" ] || { echo "advice for a finding the help does not know: $msg"; rc=1; }
                continue
            fi
            ;;
        esac
        if [ -z "$todo" ]; then
            echo "no advice beside: $msg"; rc=1; continue
        fi
        [[ "$todo" == "What to do: "?* ]] || { echo "advice not labelled: $todo"; rc=1; }
        for other in "${!seen[@]}"; do
            [ "${seen[$other]}" = "$todo" ] && { echo "same advice for '$other' and '$msg'"; rc=1; }
        done
        seen[$msg]=$todo
        advised=$((advised + 1))
    done
    local known
    known=$(xpath 'count(/Help/Finding)' "$root/runtime/XML/Findings.xml")
    [ "$advised" = "$known" ] || { echo "$advised findings advised, the help knows $known"; rc=1; }
    return $rc
}

valid=("$samples"/*.xml)
if [ ! -e "${valid[0]}" ]; then
    fail "no valid sample reports in $samples"
    valid=()
fi
for f in "${valid[@]}"; do
    name=$(basename "$f")
    check "$name: valid against the schema" schema_valid "$f"
    check "$name: written as the program writes reports" byte_layout "$f"
    check "$name: counters match the messages" counts_consistent "$f"
    check "$name: rendered by the stylesheet" renders "$f"
done
check "every-finding.xml: what to do beside each finding" advice_beside_findings "$samples/every-finding.xml"

# --- invalid samples -------------------------------------------------------

rejected_for_reason() {
    local f=$1 expect out
    if ! xmllint --noout "$f" >/dev/null 2>&1; then
        echo "not well-formed, so it proves nothing about the schema"
        return 1
    fi
    expect=$(sed -n 's/^<!-- expect: \(.*\) -->\r\{0,1\}$/\1/p' "$f" | head -n 1)
    if [ -z "$expect" ]; then
        echo "no '<!-- expect: ... -->' line"
        return 1
    fi
    if out=$(xmllint --noout --schema "$xsd" "$f" 2>&1); then
        echo "accepted by the schema"
        return 1
    fi
    if ! grep -q -F -- "$expect" <<<"$out"; then
        echo "rejected, but not for: $expect"
        echo "$out" | head -3
        return 1
    fi
}

invalid=("$samples"/invalid/*.xml)
if [ ! -e "${invalid[0]}" ]; then
    fail "no invalid sample reports in $samples/invalid"
    invalid=()
fi
for f in "${invalid[@]}"; do
    check "invalid/$(basename "$f"): rejected" rejected_for_reason "$f"
done

# --- start pages -----------------------------------------------------------

start_page() {
    local f=$1 rc=0 lint
    [ -s "$f" ] || { echo "missing or empty"; return 1; }
    lint=$(xmllint --html --noout "$f" 2>&1)
    if [ $? -ne 0 ] || [ -n "$lint" ]; then
        echo "does not parse cleanly:"; echo "$lint" | head -5; rc=1
    fi
    # Plain ASCII with entities survives whatever code page the view assumes.
    if LC_ALL=C grep -q -P '[^\x00-\x7F]' "$f"; then
        echo "contains non-ASCII bytes; use entities"; rc=1
    fi
    if grep -q -i -E '<script|<link|<img|<iframe|src=|url\(' "$f"; then
        echo "refers to external resources"; rc=1
    fi
    return $rc
}

for page in Start1033.htm Start1031.htm; do
    check "HTML/$page: self-contained start page" start_page "$html_dir/$page"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
