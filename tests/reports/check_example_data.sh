#!/bin/sh
# The bundled example files are what examples/make_items.py writes: a
# changed constant without regenerated files, or a hand edit of one of
# them, fails here.
#
# usage: check_example_data.sh PYTHON SOURCE_DIR
set -eu
python=$1 source_dir=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$source_dir/examples/make_items.py" "$work"
status=0
for f in items.dat items.csv; do
    cmp "$source_dir/examples/$f" "$work/$f" || status=1
done
exit $status
