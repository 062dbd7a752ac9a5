#!/bin/sh
# usage: notices_faults.sh TALVEX_FUZZ STAND_IN WORK
# Runs two cases against a stand-in for each fault and expects the fuzzer's
# verdict; a clean stand-in must pass.
fuzz=$1; stand_in=$2; work=$3; status=0
expect() {  # FAULT EXIT_STATUS PATTERN
  rm -rf "$work"
  out=$(FAULT=$1 "$fuzz" --talvex "$stand_in" --cases 2 --timeout 2 --work "$work/run" --failures "$work/saved")
  rc=$?
  if [ "$rc" != "$2" ] || ! printf '%s\n' "$out" | grep -q "$3"; then
    echo "FAULT=$1: exit $rc, expected $2 and '$3' in:"; echo "$out"; status=1
  fi
}
expect none 0 "2 cases, 0 failed"
expect words 0 "2 cases, 0 failed"
expect signal 1 "FAIL case 1: crash: killed by signal 11"
expect status 1 "crash: exit status 3"
expect sanitizer 1 "crash: runtime error: signed integer overflow"
expect hang 1 "FAIL case 0: hang"
expect nan 1 "nan/inf: out.txt: Mean            -nan"
expect input 1 "input modified: \(scores\|matrix\).dat"
expect link 1 "input modified: alias.dat"
# A saved failure replays: its session and inputs as written, and a script.
expect input 1 "saved in $work/saved/case-0"
[ -f "$work/saved/case-0/input/session.txt" ] && [ -x "$work/saved/case-0/replay.sh" ] &&
  FAULT=signal sh "$work/saved/case-0/replay.sh" "$stand_in" > /dev/null 2>&1
[ $? -ne 0 ] || { echo "the saved case did not replay"; status=1; }
exit $status
