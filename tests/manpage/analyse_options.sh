#!/bin/sh
# Every long option that `talvex analyse --help` lists appears in the
# section of the manual page on the command, as the page renders, so that
# the two cannot drift apart.
#
# usage: analyse_options.sh TALVEX PAGE
set -u
help=$("$1" analyse --help) || { echo "talvex analyse --help failed"; exit 1; }
options=$(printf '%s\n' "$help" | grep -o -e '--[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || { echo "talvex analyse --help lists no long option"; exit 1; }
# Plain ASCII text: \- renders as '-', with neither bold nor underline.
section=$(LC_ALL=C groff -man -Tascii -P-cbou "$2" | sed -n '/^THE ANALYSE COMMAND/,/^[A-Z]/p')
[ -n "$section" ] || { echo "no section THE ANALYSE COMMAND in $2"; exit 1; }
status=0
for option in $options; do
    if ! printf '%s\n' "$section" | grep -q -E -e "(^|[^a-z-])$option([^a-z-]|\$)"; then
        echo "$option is listed by talvex analyse --help but not in the manual page"
        status=1
    fi
done
exit $status
