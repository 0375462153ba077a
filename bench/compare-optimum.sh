#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Side by side in one run: the refinement and bootstrap of an earlier Release build
# (BEFORE_BUILD) and of this one (AFTER_BUILD), R's segmented on the same 40 broken lines, and
# an exhaustive reference of the free3 optimum, e.g.
#   git worktree add ../before COMMIT
#   cmake -S ../before -B ../before/build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release \
#         -DTOLVENAR_BUILD_TESTS=OFF -DTOLVENAR_BUILD_UI=OFF && cmake --build ../before/build-rel
#   bench/compare-optimum.sh ../before/build-rel build-bench
# Installs R, segmented and numpy from Debian when they are missing. Wall times are the fastest
# of REPEAT runs (default 3); run it on an otherwise idle machine (see `uptime`). RANDOM_CHECK=1
# adds 600 random series checked against the reference (about 20 minutes more).
set -eu
before=${1:?usage: compare-optimum.sh BEFORE_BUILD AFTER_BUILD}
after=${2:?usage: compare-optimum.sh BEFORE_BUILD AFTER_BUILD}
here=$(cd "$(dirname "$0")" && pwd)
repeat=${REPEAT:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

need=
command -v Rscript >/dev/null || need="$need r-base-core"
Rscript -e 'library(segmented)' >/dev/null 2>&1 || need="$need r-cran-segmented"
/usr/bin/python3 -c 'import numpy' 2>/dev/null || need="$need python3-numpy"
if [ -n "$need" ]; then
    sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y --no-install-recommends $need >/dev/null
fi

. "$(dirname "$0")/fastest.sh"
# Peak memory in MB of the command.
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.0f", $1 / 1024 }'; }

echo "load before measuring: $(uptime)"
/usr/bin/python3 "$here/broken_lines.py" make "$work/lines"

echo
echo "40 broken lines (n = 300 and 1,000), --model free3 --refine, all in one call:"
b=$(fastest "$before/src/cli/tolvenar-fit" --model free3 --refine --json "$work"/lines/*.csv)
cp "$work/out" "$work/before.jsonl"
a=$(fastest "$after/src/cli/tolvenar-fit" --model free3 --refine --json "$work"/lines/*.csv)
cp "$work/out" "$work/after.jsonl"
s=$(fastest "$after/src/cli/tolvenar-fit" --model free3 --json "$work"/lines/*.csv)
Rscript "$here/segmented_fits.R" "$work/lines" > "$work/segmented.csv"
r=$(awk -F, '$1 == "total" { printf "%.0f", $3 * 1000 }' "$work/segmented.csv")
failed=$(awk -F, '$1 != "total" && $2 == "NA"' "$work/segmented.csv" | wc -l)
printf '%-44s %8s ms\n' "before: search and refinement" "$b" "after: search and refinement" "$a" \
    "after: search alone" "$s" "segmented, 40 fits timed inside R" "$r"
echo "segmented over after: $(awk -v r="$r" -v a="$a" 'BEGIN { printf "%.1fx", r / a }'); segmented failed on $failed"
echo
echo "Reaching the exhaustive reference (the optimum of the points each run cropped):"
echo "before: $(/usr/bin/python3 "$here/broken_lines.py" check "$work/lines" "$work/before.jsonl" | tail -1)"
/usr/bin/python3 "$here/broken_lines.py" check "$work/lines" "$work/after.jsonl" > "$work/check.txt"
echo "after:  $(tail -1 "$work/check.txt")"
echo "segmented at or below the reference (1e-6): $(/usr/bin/python3 - "$work" <<'EOF'
import sys
work = sys.argv[1]
ref = {l.split()[0]: float(l.split()[2]) for l in open(f"{work}/check.txt") if l.endswith("\n") and " reference " in l}
seg = {l.split(",")[0]: l.split(",")[1] for l in open(f"{work}/segmented.csv") if not l.startswith("total")}
print(sum(1 for f, v in seg.items() if v != "NA" and float(v) <= ref[f] * (1 + 1e-6)), "of", len(seg))
EOF
)"

echo
echo "40 broken lines, --model M --refine, all in one call, and where the sums part (1e-6):"
for model in ramp free3 symmetric asymmetric free4 duration; do
    b=$(fastest "$before/src/cli/tolvenar-fit" --model $model --refine --json "$work"/lines/*.csv)
    cp "$work/out" "$work/before-$model.jsonl"
    a=$(fastest "$after/src/cli/tolvenar-fit" --model $model --refine --json "$work"/lines/*.csv)
    printf '%-10s before %5s ms, after %5s ms; %s\n' "$model" "$b" "$a" \
        "$(/usr/bin/python3 "$here/broken_lines.py" compare "$work/before-$model.jsonl" "$work/out")"
done

echo
echo "--bootstrap 200 on every core (a 10 x 1000 search first):"
for model in ramp free3 symmetric asymmetric free4 duration; do
    for n in 300 1000; do
        head -n $((n + 1)) "$work/lines/$( [ "$n" = 300 ] && echo 00 || echo 20).csv" > "$work/boot.csv"
        b=$(fastest "$before/src/cli/tolvenar-fit" --model $model --bootstrap 200 "$work/boot.csv")
        a=$(fastest "$after/src/cli/tolvenar-fit" --model $model --bootstrap 200 "$work/boot.csv")
        q=$(fastest "$after/src/cli/tolvenar-fit" --model $model --bootstrap 200 --bootstrap-search "$work/boot.csv")
        printf '%-10s %5s points: before %6s ms, after %5s ms (%s), after --bootstrap-search %6s ms\n' \
            "$model" "$n" "$b" "$a" "$(awk -v b="$b" -v a="$a" 'BEGIN { printf "%.1fx", b / a }')" "$q"
    done
done

echo
echo "1,000,000 points (Free 3 segments), after: search alone against --refine"
awk 'BEGIN { srand(3); print "x,y"; for (i = 0; i < 1000000; i++) { t = i / 1e6
    y = t < 0.4 ? t : t < 0.7 ? 0.4 - 2 * (t - 0.4) : -0.2 + (t - 0.7); printf "%.7f,%.6f\n", t, y + 0.05 * (rand() - 0.5) } }' > "$work/million.csv"
REPEAT=1
s=$(fastest "$after/src/cli/tolvenar-fit" --model free3 "$work/million.csv")
a=$(fastest "$after/src/cli/tolvenar-fit" --model free3 --refine "$work/million.csv")
echo "search $s ms ($(peak "$after/src/cli/tolvenar-fit" --model free3 "$work/million.csv") MB), search and refinement $a ms ($(peak "$after/src/cli/tolvenar-fit" --model free3 --refine "$work/million.csv") MB)"
if [ "${RANDOM_CHECK:-0}" = 1 ]; then  # about 20 minutes of numpy
    echo
    echo "600 random series (broken_lines.py random), --model free3 --refine, against the reference:"
    /usr/bin/python3 "$here/broken_lines.py" random "$work/random"
    "$after/src/cli/tolvenar-fit" --model free3 --refine --json "$work"/random/*.csv > "$work/random.jsonl" 2>/dev/null || true
    /usr/bin/python3 "$here/broken_lines.py" check "$work/random" "$work/random.jsonl" | tail -1
fi
echo
echo "load after measuring: $(uptime)"
