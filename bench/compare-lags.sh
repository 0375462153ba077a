#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The lags' speed side by side in one run: four series of 500 points (x = 0..499, ramps a few
# steps apart, correlated noise) refined and bootstrapped with 200 replicates, as four calls of
# an earlier tolvenar-fit (BEFORE, one column each: what the lags cost by hand), as one call of
# it with --y A,B,C,D --lag-to D where it has lags, and as that call of this one (the four
# series share x, so their own replicates are the lags' too). Fastest wall time of REPEAT
# (default 5) each, on THREADS cores (default 2). Run it on an otherwise idle machine:
# see `uptime`.
#   bench/compare-lags.sh ../before/build/src/cli/tolvenar-fit build/src/cli/tolvenar-fit
set -eu
before=${1:?usage: compare-lags.sh BEFORE_TOLVENAR_FIT AFTER_TOLVENAR_FIT}
after=${2:?usage: compare-lags.sh BEFORE_TOLVENAR_FIT AFTER_TOLVENAR_FIT}
repeat=${REPEAT:-5}
threads=${THREADS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk 'BEGIN { srand(5); print "time,A,B,C,D"; e = 0
    for (i = 0; i < 500; i++) {
        e = 0.5 * e + sqrt(-2 * log(rand())) * cos(6.2831853 * rand())
        line = i
        for (k = 0; k < 4; k++) {
            r = (i - 240 - 3 * k) / 30; r = r < 0 ? 0 : (r > 1 ? 1 : r)
            line = line sprintf(",%.5f", r + 0.1 * (0.6 * e + 0.8 * sqrt(-2 * log(rand())) * cos(6.2831853 * rand())))
        }
        print line } }' > "$work/four.csv"
. "$(dirname "$0")/fastest.sh"
by_hand() {
    for column in A B C D; do
        "$before" --threads "$threads" --y "$column" --refine --bootstrap 200 "$work/four.csv"
    done
}
echo "load before measuring: $(uptime)"
lags="--threads $threads --y A,B,C,D --lag-to D --refine --bootstrap 200 $work/four.csv"
b=$(fastest by_hand)
# shellcheck disable=SC2086
if "$before" $lags >/dev/null 2>&1; then
    l=$(fastest "$before" $lags)
fi
# shellcheck disable=SC2086
a=$(fastest "$after" $lags)
printf '%-56s %8s ms\n' "before: four calls, --y X --refine --bootstrap 200" "$b"
[ -n "${l:-}" ] && printf '%-56s %8s ms\n' "before: --y A,B,C,D --lag-to D --refine --bootstrap 200" "$l"
printf '%-56s %8s ms\n' "after: --y A,B,C,D --lag-to D --refine --bootstrap 200" "$a"
echo "load after measuring: $(uptime)"
