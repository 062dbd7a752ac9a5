#!/bin/sh
# Runs one session through the terminal front end in a scratch directory and
# compares its report byte for byte with the expected one, after masking the
# lines that change from run to run (date, time, computing time).
#
# usage: run_golden.sh TALVEX SOURCE_DIR SESSION REPORT EXPECTED
# A session that also writes the JSON results (REPORT's .json sibling) has
# them compared byte for byte with EXPECTED's .json sibling (no date or time).
# With TALVEX_UPDATE_GOLDEN=1 the masked report replaces EXPECTED instead.
set -eu
talvex=$1 source_dir=$2 session=$3 report=$4 expected=$5
json=${report%.txt}.json expected_json=${expected%.txt}.json
export LC_ALL=C

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/examples" "$work/inputs"
cp "$source_dir"/examples/*.dat "$source_dir"/examples/*.txt "$work/examples/"
cp "$source_dir"/tests/reports/inputs/*.dat "$work/inputs/"

# Status 1 is a session whose last run ended with a warning (the failure
# cases); anything else but 0 is a fault.
status=0
(cd "$work" && "$talvex" --console <"$session" >transcript.txt 2>progress.txt) || status=$?
if [ "$status" -gt 1 ]; then
    echo "talvex failed on $session (status $status)"; cat "$work/transcript.txt" "$work/progress.txt"; exit 1
fi
if [ ! -f "$work/$report" ]; then
    echo "no report $report was written"; cat "$work/transcript.txt"; exit 1
fi

sed -e 's/^\( *Date: \).*$/\1(masked)/' \
    -e 's/^\( *Time: \).*$/\1(masked)/' \
    -e 's/^\(Computing time *: *\).*$/\1(masked)/' "$work/$report" >"$work/masked.txt"

if [ -f "$expected_json" ] && [ ! -f "$work/$json" ]; then
    echo "no results file $json was written"; cat "$work/transcript.txt"; exit 1
fi

if [ "${TALVEX_UPDATE_GOLDEN:-0}" = 1 ]; then
    cp "$work/masked.txt" "$expected"; echo "updated $expected"
    if [ -f "$work/$json" ]; then cp "$work/$json" "$expected_json"; echo "updated $expected_json"; fi
    exit 0
fi
if [ ! -f "$expected" ]; then
    echo "no expected report $expected (run with TALVEX_UPDATE_GOLDEN=1 to create it)"; exit 1
fi
if ! cmp -s "$expected" "$work/masked.txt"; then
    diff -u "$expected" "$work/masked.txt" || true
    cmp "$expected" "$work/masked.txt" || true
    exit 1
fi
if [ -f "$work/$json" ] && ! cmp -s "$expected_json" "$work/$json"; then
    diff -u "$expected_json" "$work/$json" || true
    echo "the results file differs from $expected_json"
    exit 1
fi
