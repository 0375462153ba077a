#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Synthetic multi-proxy files in the shape of Greenland ice-core records around a warming
onset, one file an event: time (years b2k, uneven as depth samples are), Ca and Na
(concentrations in ppb, falling), lt (annual layer thickness in m, rising) and d18O (per mil,
rising), each proxy with some empty fields where it was not measured.

Real records of this kind are the NGRIP and NEEM continuous-flow Ca and Na, annual layer
thickness and d18O around the Dansgaard-Oeschger onsets, published on PANGAEA and the
Copenhagen ice-core data pages (Niels Bohr Institute); a merged file of them has exactly these
empty fields, the proxies being sampled on different depths.

True lags to d18O: Ca onset -10, end -20; Na onset -5, end -5; lt onset -3, end -18 (years).

  lag_events.py N FOLDER [SEED]   # writes FOLDER/event01.csv ... eventNN.csv
"""

import math
import random
import sys


def ar1(rng, n, phi):
    """AR(1) noise of unit variance in steps."""
    e, out = 0.0, []
    for _ in range(n):
        e = phi * e + math.sqrt(1 - phi * phi) * rng.gauss(0, 1)
        out.append(e)
    return out


def event(rng, onset, path):
    t, x = [], onset - 250.0
    while x < onset + 250.0:
        t.append(x)
        x += rng.uniform(0.6, 2.2)
    n = len(t)

    def ramp(i, start, length, low, high):
        return low + (high - low) * min(max((t[i] - start) / length, 0.0), 1.0)
    common = ar1(rng, n, 0.5)  # climate noise the proxies share
    own = [ar1(rng, n, phi) for phi in (0.5, 0.5, 0.3, 0.6)]
    with open(path, "w") as out:
        out.write("time,Ca,Na,lt,d18O\n")
        for i in range(n):
            cells = [f"{t[i]:.2f}",
                     f"{ramp(i, onset - 10, 30, 300, 60) + 30 * (0.6 * common[i] + 0.8 * own[0][i]):.1f}",
                     f"{ramp(i, onset - 5, 40, 60, 30) + 6 * (0.5 * common[i] + 0.87 * own[1][i]):.1f}",
                     f"{ramp(i, onset - 3, 25, 0.02, 0.05) + 0.004 * own[2][i]:.4f}",
                     f"{ramp(i, onset, 40, -43.5, -39.0) + 0.6 * (0.5 * common[i] + 0.87 * own[3][i]):.2f}"]
            for j in range(1, 5):
                if rng.random() < 0.08:
                    cells[j] = ""
            out.write(",".join(cells) + "\n")


def main():
    count, folder = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    for k in range(count):
        event(rng, 11700 + 1500 * k, f"{folder}/event{k + 1:02d}.csv")


if __name__ == "__main__":
    main()
