#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every output of two builds' tolvenar-fit, byte for byte: each file of examples/ (or of the
# folder DATA) with each event family, as text, --csv and --json, refined and bootstrapped, and
# compared; plus one SVG picture a family. Prints the commands whose outputs differ and exits 1
# when any does, e.g.
#   bench/compare-outputs.sh ../before/build/src/cli/tolvenar-fit build/src/cli/tolvenar-fit
set -eu
before=${1:?usage: compare-outputs.sh BEFORE_TOLVENAR_FIT AFTER_TOLVENAR_FIT [DATA]}
after=${2:?usage: compare-outputs.sh BEFORE_TOLVENAR_FIT AFTER_TOLVENAR_FIT [DATA]}
data=${3:-$(dirname "$0")/../examples}
before=$(cd "$(dirname "$before")" && pwd)/$(basename "$before")
after=$(cd "$(dirname "$after")" && pwd)/$(basename "$after")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

runs=0
differ=0
# Runs `tolvenar-fit ARGS` with both builds, the picture (if any) at PICTURE, and compares.
check() {
    for side in before after; do
        program=$before
        [ "$side" = after ] && program=$after
        code=0
        (cd "$work" && "$program" "$@" > "$side.out" 2> "$side.err") || code=$?
        echo "exit $code" >> "$work/$side.out"
        if [ -f "$work/picture.svg" ]; then
            mv "$work/picture.svg" "$work/$side.svg"
        fi
    done
    runs=$((runs + 1))
    if ! cmp -s "$work/before.out" "$work/after.out" || ! cmp -s "$work/before.err" "$work/after.err" ||
        { [ -f "$work/before.svg" ] && ! cmp -s "$work/before.svg" "$work/after.svg"; }; then
        differ=$((differ + 1))
        echo "differs: tolvenar-fit $*"
        diff "$work/before.out" "$work/after.out" | head -5 || true
    fi
    rm -f "$work/before.svg" "$work/after.svg"
}

for file in "$data"/*.csv; do
    path=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
    for model in ramp symmetric asymmetric duration free3 free4; do
        check --model "$model" "$path"
        check --model "$model" --csv "$path"
        check --model "$model" --refine --bootstrap 30 --json "$path"
        check --model "$model" --refine --bootstrap 30 --csv "$path"
        check --model "$model" --constrain --refine --json --plot picture.svg "$path"
    done
    check --compare --test-replicates 39 --json "$path"
    check --compare --test-replicates 39 --refine --bootstrap 30 --csv "$path"
    check --compare --test-replicates 39 "$path"
done
echo "$runs commands, $differ with different outputs"
[ "$differ" -eq 0 ]
