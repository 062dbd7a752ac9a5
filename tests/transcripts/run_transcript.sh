#!/bin/sh
# Pipes a session file into the terminal front end and compares what it
# prints on standard output with the expected transcript.
#
# The expected transcripts are regression fixtures: they were produced by
# running the program and then checked line by line against the dialog and
# message texts the program must show. Progress (standard error) is not
# compared.
#
# usage: run_transcript.sh TALVEX SESSION EXPECTED
set -u
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
talvex=$(absolute "$1")
session=$(absolute "$2")
expected=$(absolute "$3")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Sessions name their files relative to a fresh working directory holding
# a copy of data/.
cp -R "$here/data" "$work/data"
cd "$work" || exit 1
"$talvex" --console < "$session" > actual.txt 2> progress.txt
status=$?
wanted=$(sed -n 's/^# exit status \([0-9]*\)$/\1/p' "$session" | head -n 1)
if [ "$status" -ne "${wanted:-0}" ]; then
    echo "talvex exited with status $status instead of ${wanted:-0}"
    cat progress.txt
    exit 1
fi
diff -u "$expected" actual.txt
