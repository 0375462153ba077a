#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws what scan_record wrote: the record, the scan's segments, its events (shaded) and the
true transitions (ticks under the axis).

    python3 bench/scan_record_plot.py DIR OUT.png
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import pandas as pd


def main(directory, out):
    record = pd.read_csv(f"{directory}/record.csv")
    segments = pd.read_csv(f"{directory}/segments.csv")
    events = pd.read_csv(f"{directory}/events.csv")
    truth = pd.read_csv(f"{directory}/truth.csv")
    fig, ax = plt.subplots(figsize=(14, 4.8))
    ax.plot(record.age / 1000, record.d18O, color="0.6", lw=0.5, label="record (10- and 20-yr means)")
    ax.plot(segments.age / 1000, segments.value, color="tab:blue", lw=1.2, label="segments")
    for k, e in events.iterrows():
        colour = "tab:red" if e.amplitude < 0 else "tab:cyan"  # a fall along age is a warming
        ax.axvspan(e.onset / 1000, max(e.end, e.onset + 60) / 1000, color=colour, alpha=0.35, lw=0)
        ax.annotate(str(k + 1), (e.onset / 1000, ax.get_ylim()[1]), fontsize=7, ha="center", va="top")
    low = record.d18O.min()
    for _, t in truth.iterrows():
        ax.plot([t.onset / 1000] * 2, [low - 0.9, low - 0.3], color="k", lw=0.8)
    ax.set_xlabel("age (kyr b2k)")
    ax.set_ylabel("δ18O (‰)")
    ax.set_xlim(0, 60)
    ax.set_title(f"{len(events)} events found (red: warmings, cyan: coolings); "
                 f"ticks: the {len(truth)} true transitions")
    ax.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=110)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
