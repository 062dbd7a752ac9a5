#!/bin/sh
# The manual page renders without a warning: through man-db, as a reader
# opens it, and through groff with every warning category on.
#
# usage: renders.sh PAGE
set -u
page=$1
status=0
check() {  # NAME COMMAND...: fails on a non-zero exit or any output on stderr
    name=$1
    shift
    warnings=$("$@" 2>&1 >/dev/null)
    rc=$?
    if [ "$rc" -ne 0 ] || [ -n "$warnings" ]; then
        echo "$name (exit status $rc):"
        printf '%s\n' "$warnings"
        status=1
    fi
}
check "man --warnings" env MANWIDTH=80 man --warnings -l "$page"
check "groff -man -ww" groff -man -ww -z "$page"
exit $status
