# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the side-by-side scripts: the fastest wall time of a command over $repeat runs.
now() { date +%s%N; }
# Fastest wall time in ms of the command, its output kept in $work/out.
fastest() {
    best=
    for _ in $(seq "$repeat"); do
        start=$(now)
        "$@" > "$work/out"
        ms=$(( ($(now) - start) / 1000000 ))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}
