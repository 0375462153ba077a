#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Side by side in one run: the parallel work of an earlier build (BEFORE_BUILD) and of this one
# (AFTER_BUILD), both built with the `bench` preset: the search on one thread and on every core,
# the refinement, the bootstrap (the benchmark's and whole tolvenar-fit calls) and the
# comparison. Each runs in ROUNDS rounds (default 3), alternating between the builds; the table
# shows the fastest of each. tolvenar-fit's output must be the same from both builds.
# Run it on an otherwise idle machine: see `uptime`.
set -eu
before=${1:?usage: compare-parallel.sh BEFORE_BUILD AFTER_BUILD}
after=${2:?usage: compare-parallel.sh BEFORE_BUILD AFTER_BUILD}
rounds=${ROUNDS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A plateau event over n points at x = i, with a ripple for noise.
series() {
    awk -v n="$1" 'BEGIN { print "x,y"; for (i = 0; i < n; i++) {
        r = i / n; v = r < 0.3 ? 0 : r < 0.4 ? (r - 0.3) / 0.1 : r < 0.7 ? 1 : r < 0.8 ? (0.8 - r) / 0.1 : 0
        printf "%d,%.6f\n", i, v + 0.1 * sin(37 * i) } }'
}
series 300 > "$work/300.csv"
series 1000 > "$work/1000.csv"

# name and real time of each benchmark matching $3 in binary $2 of build $1, one per line
benchmarks() {
    "$1/bench/$2" --benchmark_filter="$3" --benchmark_format=csv 2>/dev/null |
        awk -F, '/^"/ { gsub(/"/, "", $1); print $1, $3, $5 }'
}
cases='bench_search search/
bench_refine BM_Refine/(1|6)/(300|1000)$
bench_refine BM_Bootstrap200
bench_compare BM_CompareFamilies'

. "$(dirname "$0")/fastest.sh"
repeat=1
echo "load before measuring: $(uptime)"
for round in $(seq "$rounds"); do
    for side in before after; do
        build=$before
        [ "$side" = after ] && build=$after
        echo "$cases" | while read -r binary filter; do
            benchmarks "$build" "$binary" "$filter" | sed "s/^/$side /" >> "$work/times"
        done
        for model in ramp duration; do
            for n in 300 1000; do
                ms=$(fastest "$build/src/cli/tolvenar-fit" --model "$model" --bootstrap 200 \
                     --json "$work/$n.csv")
                echo "$side tolvenar-fit/$model/--bootstrap=200/points:$n $ms ms" >> "$work/times"
                if [ "$side" = before ]; then
                    cp "$work/out" "$work/$model-$n.json"
                else
                    cmp -s "$work/out" "$work/$model-$n.json" ||
                        echo "OUTPUTS DIFFER: $model on $n points"
                fi
            done
        done
    done
done
echo
awk '{ key = $2; if (!(key in order)) { order[key] = ++count; names[count] = key; unit[key] = $4 }
       t = $1 "|" key; if (!(t in best) || $3 < best[t]) best[t] = $3 }
     END { printf "%-52s %12s %12s %8s\n", "fastest of each", "before", "after", "after/before"
           for (i = 1; i <= count; i++) { k = names[i]; b = best["before|" k]; a = best["after|" k]
               printf "%-52s %9.4g %-2s %9.4g %-2s %7.3f\n", k, b, unit[k], a, unit[k], a / b } }' \
    "$work/times"
echo
echo "load after measuring: $(uptime)"
