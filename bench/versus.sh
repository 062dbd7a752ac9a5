#!/usr/bin/env bash
# Whole-process timings of two builds of talvex side by side in one run, and
# of R's psych on the same files: the default analysis (bench/default),
# slice D (bench/large), optimal polychoric PA and classical PA with 500
# random matrices (bench/pa). Each scenario runs the two programs in turn,
# three times; the best wall and user times are kept, and the reports of the
# two builds are compared (dates and times left out). Both programs get
# OPENBLAS_CORETYPE (Haswell unless set), so both use the same OpenBLAS
# kernels whatever the processor. R: psych's fa.parallel(x, n.iter = 500,
# fa = "pc") for classical PA, and bench/large/psych_timing.R (MAP as the
# program computes it, no VSS) for slice D, best of three.
# Usage: bench/versus.sh OLD_TALVEX [NEW_TALVEX]   (needs GNU time; R and psych for the ratios)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OLD="$(realpath "$1")"
NEW="$(realpath "${2:-$ROOT/build/talvex}")"
export OPENBLAS_CORETYPE="${OPENBLAS_CORETYPE:-Haswell}"
RUNS=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$ROOT/bench/missing/missing2800.dat" "$work/missing2800.dat"
ln -s "$ROOT/bench/large/large.dat" "$work/large.dat"
ln -s "$ROOT/bench/polychoric/likert2500.dat" "$work/likert2500.dat"

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-), $(nproc) cores," \
     "flags:$(grep -m1 -o -w -e avx2 -e fma -e avx512f /proc/cpuinfo | sort -u | tr '\n' ' ')"
echo "OPENBLAS_CORETYPE=$OPENBLAS_CORETYPE; load: $(cut -d' ' -f1-3 /proc/loadavg)"

best() { sort -g | head -1; }

# scenario NAME SESSION REPORT: best wall/user of each build, and whether
# their reports are the same.
scenario() {
    local name=$1 session=$2 report=$3 run prog
    for run in $(seq $RUNS); do
        for prog in old new; do
            local bin=$OLD
            [ $prog = new ] && bin=$NEW
            (cd "$work" && /usr/bin/time -o "$work/t" -f "%e %U" "$bin" --console <"$session" >/dev/null 2>&1)
            read -r wall user <"$work/t"
            echo "$wall" >>"$work/$name-$prog.wall"
            echo "$user" >>"$work/$name-$prog.user"
            grep -v "^ *Date:\|^ *Time:\|^Computing time" "$work/$report" >"$work/$name-$prog.txt"
        done
    done
    local same="reports identical"
    cmp -s "$work/$name-old.txt" "$work/$name-new.txt" || same="reports DIFFER"
    local ow nw ou nu
    ow=$(best <"$work/$name-old.wall"); nw=$(best <"$work/$name-new.wall")
    ou=$(best <"$work/$name-old.user"); nu=$(best <"$work/$name-new.user")
    printf "%-22s old %6.2f s wall %6.2f user | new %6.2f s wall %6.2f user | %.2fx wall | %s\n" \
        "$name" "$ow" "$ou" "$nw" "$nu" "$(echo "$ow / $nw" | bc -l)" "$same"
    echo "$nw" >"$work/$name.best"
}

scenario default "$ROOT/bench/default/scenario.session" default-output.txt
scenario "slice D" "$ROOT/bench/large/scenario.session" large-output.txt
scenario "optimal PA 500" "$ROOT/bench/pa/optimal.session" pa-optimal-output.txt
scenario "classical PA 500" "$ROOT/bench/pa/classical.session" pa-classical-output.txt

if command -v Rscript >/dev/null && Rscript -e 'library(psych)' >/dev/null 2>&1; then
    for run in $(seq $RUNS); do
        Rscript "$ROOT/bench/large/psych_timing.R" "$work/large.dat" | sed 's/.*seconds: \([0-9.]*\).*/\1/' >>"$work/psych-large"
        Rscript "$ROOT/bench/pa/psych_timing.R" "$work/likert2500.dat" classical |
            sed 's/.* \([0-9.]*\) s$/\1/' >>"$work/psych-pa"
    done
    pl=$(best <"$work/psych-large"); pp=$(best <"$work/psych-pa")
    printf "psych slice D (MAP, no VSS) %.2f s: new talvex %.1fx faster\n" "$pl" "$(echo "$pl / $(cat "$work/slice D.best")" | bc -l)"
    printf "psych fa.parallel pc 500    %.2f s: new talvex %.1fx faster\n" "$pp" "$(echo "$pp / $(cat "$work/classical PA 500.best")" | bc -l)"
fi
