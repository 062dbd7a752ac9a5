#!/usr/bin/env bash
# The results page of a 300-variable, 12-factor solution (1,500 simulated
# participants, detailed output: the 300 x 300 correlation matrix, every
# loading table, the plots inlined as SVG) rendered by headless Chromium.
# Prints the page's size and the minimum wall time of three renders to a
# screenshot, of a blank page likewise (the browser's own start), and
# their difference: the time the page itself takes.
# Usage: bench/html/timing.sh [path of talvex]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
TALVEX="${1:-$ROOT/build/talvex}"
BROWSER="$(command -v chromium || true)"
[ -n "$BROWSER" ] || { echo "html: chromium is not installed (make bench installs it)"; exit 0; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
python3 "$ROOT/bench/large/make_data.py" "$WORK/items300.dat" 1500 300 12
"$TALVEX" analyse "$WORK/items300.dat" --factors 12 --procedure MAP --detailed --rotation Promin \
    --report "$WORK/report.txt" --html "$WORK/page.html" --plots "$WORK/plots" >/dev/null 2>&1
echo "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>blank</title></head><body></body></html>" \
    >"$WORK/blank.html"
render() {  # page: the minimum of three renders, in seconds
    local best="" start end t
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$BROWSER" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1280,1024 \
            --screenshot="$WORK/shot.png" "file://$1" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}
page=$(render "$WORK/page.html")
blank=$(render "$WORK/blank.html")
echo "page: $(wc -c <"$WORK/page.html") bytes, $(grep -o '<table' "$WORK/page.html" | wc -l) tables"
echo "headless chromium, page:  ${page} s (min of 3)"
echo "headless chromium, blank: ${blank} s (min of 3)"
echo "the page's own rendering: $(echo "$page - $blank" | bc) s"
