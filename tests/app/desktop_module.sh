#!/bin/sh
# The program starts without Qt: no Qt library is among its own
# dependencies. It opens the desktop from its module; a copy of it away from
# the module, asked for the desktop, says why the desktop is not there and
# runs the terminal front end.
# Usage: desktop_module.sh TALVEX
talvex=$1
fail() { echo "FAIL: $1"; exit 1; }
needed=$(readelf -d "$talvex") || fail "readelf"
case $needed in *libQt6*) fail "the program needs Qt: $needed" ;; esac
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cp "$talvex" "$dir/talvex" || exit 1
out=$(echo exit | DISPLAY=:0 "$dir/talvex" 2>"$dir/err")
grep -q "desktop front end could not be loaded (.*talvex-desktop.so" "$dir/err" || fail "no reason: $(cat "$dir/err")"
case $out in *"talvex> "*) ;; *) fail "no terminal front end: $out" ;; esac
# The program itself finds its module: on Qt's offscreen platform the
# desktop opens and waits for its window to close (ended by timeout).
DISPLAY=:0 QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir" timeout 2 "$talvex" </dev/null >/dev/null 2>"$dir/err"
status=$?
[ $status = 124 ] || fail "the desktop did not stay open (status $status): $(cat "$dir/err")"
grep -q "could not be loaded" "$dir/err" && fail "module not found: $(cat "$dir/err")"
exit 0
