#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Side by side in one run: the scorer and whole tolvenar-fit searches of an earlier build
# (BEFORE_BUILD) and of this one (AFTER_BUILD), both Release builds with the benchmarks on, e.g.
#   cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DTOLVENAR_BUILD_BENCH=ON -G Ninja
# Each search runs REPEAT times (default 5), alternating between the builds; the table shows
# the fastest wall time of each. The reports of both builds must be the same, bit for bit.
# Run it on an otherwise idle machine: see `uptime`.
set -eu
before=${1:?usage: compare-before.sh BEFORE_BUILD AFTER_BUILD}
after=${2:?usage: compare-before.sh BEFORE_BUILD AFTER_BUILD}
repeat=${REPEAT:-5}
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A noisy step over n points at x = 0.01 i.
series() {
    awk -v n="$1" 'BEGIN { print "x,y"; for (i = 1; i <= n; i++) {
        x = 0.01 * i; printf "%.2f,%.6f\n", x, 1 / (1 + exp(-(x - 0.005 * n) * 4)) + 0.05 * sin(37 * i) } }'
}
series 1000 > "$work/1000.csv"
series 32767 > "$work/32767.csv"

. "$(dirname "$0")/fastest.sh"

echo "load before measuring: $(uptime)"
echo
echo "Scorer, point evaluations per second on one core (Fitting + GetSqDist):"
printf '%-8s %-28s %-28s\n' points before after
for n in 100 1000 10000 32767; do
    b=$("$before/bench/bench_fit" --benchmark_filter="BM_FitAndScore/$n\$" 2>/dev/null |
        sed -n 's/.*points\/s=\([^ ]*\).*/\1/p')
    a=$("$after/bench/bench_fit" --benchmark_filter="BM_BatchScorer/$n\$" 2>/dev/null |
        sed -n 's/.*points\/s=\([^ ]*\).*/\1/p')
    printf '%-8s %-28s %-28s\n' "$n" "${b:-(not measured)}" "$a"
done
echo
echo "Whole searches, fastest of $repeat, wall time in ms (Simple ramp, free):"
printf '%-32s %8s %10s %10s %9s %9s\n' search before "1 thread" "$cores threads" speedup-1 speedup-$cores
for case in "1000 10000" "32767 1000"; do
    set -- $case
    file="$work/$1.csv"
    b=$(fastest "$before/src/cli/tolvenar-fit" --runs 10 --trials "$2" "$file")
    cp "$work/out" "$work/before.txt"
    a1=$(fastest "$after/src/cli/tolvenar-fit" --threads 1 --runs 10 --trials "$2" "$file")
    cmp -s "$work/out" "$work/before.txt" || echo "REPORTS DIFFER on 1 thread ($1 points)"
    an=$(fastest "$after/src/cli/tolvenar-fit" --threads "$cores" --runs 10 --trials "$2" "$file")
    cmp -s "$work/out" "$work/before.txt" || echo "REPORTS DIFFER on $cores threads ($1 points)"
    printf '%-32s %8s %10s %10s %9s %9s\n' "10 x $2 on $1 points" "$b" "$a1" "$an" \
        "$(awk -v b="$b" -v a="$a1" 'BEGIN { printf "%.2fx", b / a }')" \
        "$(awk -v b="$b" -v a="$an" 'BEGIN { printf "%.2fx", b / a }')"
done
echo
echo "load after measuring: $(uptime)"
