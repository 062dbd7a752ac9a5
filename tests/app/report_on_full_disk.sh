#!/bin/sh
# The report on a full file system (a 12 KB tmpfs in a private mount
# namespace): `talvex analyse` exits 1 with the system's reason, says no
# "Report written", and leaves the earlier report byte for byte and no
# temporary file. Skipped (77) where no tmpfs can be mounted.
# Usage: report_on_full_disk.sh TALVEX DATA
talvex=$1 data=$2
dir=$(mktemp -d) || exit 1
unshare -m sh -c '
  mount -t tmpfs -o size=12k tmpfs "$3" 2>/dev/null || exit 77
  cd "$3" && printf "earlier report\n" > r.txt || exit 1
  out=$("$1" analyse "$2" --factors 2 --report r.txt 2>&1)
  status=$?
  fail() { echo "FAIL: $1"; echo "$out"; exit 1; }
  [ $status = 1 ] || fail "exit status $status"
  case $out in *"r.txt: No space left on device"*) ;; *) fail "no reason given" ;; esac
  case $out in *"Report written"*) fail "announced as written" ;; esac
  [ "$(cat r.txt)" = "earlier report" ] || fail "the earlier report is lost"
  [ "$(ls -A)" = r.txt ] || fail "files left: $(ls -A)"
' sh "$talvex" "$data" "$dir" 2>/dev/null
status=$?
rmdir "$dir"
[ $status = 77 ] && echo "skipped: no tmpfs can be mounted here"
exit $status
