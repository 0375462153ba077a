#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Replicates drawn about a curve whose kinks are shrunk: a candidate for short series.

  PYTHONPATH=build/python kink_shrink.py [--series S] [--replicates R] [--seed N]

"Free 3 segments" on 80 even points (break points at 0.35 and 0.65 of the span, levels 0, 0.1,
1, 1.1, white noise of sd 0.2), as family_coverage draws them. The least squares place the
break points where the noise sharpens a kink, so the fitted curve's kinks are sharper than the
truth's, and replicates drawn about it place their break points more tightly than the
estimates fall. A first round of R replicates about the fit measures that sharpening (the
median of their kinks over the fit's, per break point); a second round of R is drawn about the
fitted curve with its kinks divided by it (the same break points, its line part fitted to the
curve). Each round's 90 % interval is symmetric about the estimate (the 0.9 quantile of the
replicates' distances from it); the first round's percentiles are given too. Replicates are
searched and refined as fit(refine=True) does, with white noise of the residuals' sd.
"""
import argparse

import numpy as np
import tolvenar

POINTS = 80
TRUE_X = np.array([0, 0.35, 0.65, 1]) * (POINTS - 1)
TRUE_Y = np.array([0, 0.1, 1, 1.1])
XS = np.arange(POINTS, dtype=float)


def fit(y):
    refined = tolvenar.fit(XS, y, model="free3", runs=2, trials=300, refine=True).to_dict()["refined"]
    return np.array(refined["x"][:4], float), np.array(refined["y"][:4], float)


def kinks(x, y):
    with np.errstate(divide="ignore", invalid="ignore"):
        return np.diff(np.diff(y) / np.diff(x))


def shrunk(x, y, factor):
    """The levels of the curve through x with its kinks times factor, nearest the curve."""
    k = kinks(x, y) * factor
    hinge = lambda at: sum(k[j] * np.maximum(at - x[j + 1], 0.0) for j in range(len(k)))
    line, *_ = np.linalg.lstsq(np.stack([np.ones(POINTS), XS], 1),
                               np.interp(XS, x, y) - hinge(XS), rcond=None)
    return line[0] + line[1] * x + hinge(x)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--series", type=int, default=600)
    parser.add_argument("--replicates", type=int, default=100)
    parser.add_argument("--seed", type=int, default=11)
    o = parser.parse_args()
    random = np.random.default_rng(o.seed)

    def replicates(x, y, sd):
        found = [fit(np.interp(XS, x, y) + random.normal(0, sd, POINTS)) for _ in range(o.replicates)]
        return np.array([f[0][1:3] for f in found]), np.array([kinks(*f) for f in found])

    names = ["symmetric, about the fit", "symmetric, kinks shrunk", "percentile, about the fit"]
    held = np.zeros((3, 2))
    widths = [[], [], []]
    for _ in range(o.series):
        y = np.interp(XS, TRUE_X, TRUE_Y) + random.normal(0, 0.2, POINTS)
        x, levels = fit(y)
        sd = np.sqrt(np.sum((y - np.interp(XS, x, levels)) ** 2) / (POINTS - 6))
        first, first_kinks = replicates(x, levels, sd)
        factor = np.clip(kinks(x, levels) / np.nanmedian(first_kinks, 0), 0.3, 1.0)
        second, _ = replicates(x, shrunk(x, levels, factor), sd)
        for m, breaks in enumerate([first, second]):
            half = np.quantile(np.abs(breaks - x[1:3]), 0.9, axis=0)
            held[m] += np.abs(x[1:3] - TRUE_X[1:3]) <= half
            widths[m].append(2 * half)
        lo, hi = np.quantile(first, 0.05, 0), np.quantile(first, 0.95, 0)
        held[2] += (lo <= TRUE_X[1:3]) & (TRUE_X[1:3] <= hi)
        widths[2].append(hi - lo)
    print(f"{o.series} series, {o.replicates} replicates a round, seed {o.seed}\n")
    print("| interval | X2 holds / median width | X3 holds / median width |\n|---|---|---|")
    for m, name in enumerate(names):
        w = np.median(widths[m], 0)
        print(f"| {name} | {100 * held[m][0] / o.series:.1f} % / {w[0]:.1f} "
              f"| {100 * held[m][1] / o.series:.1f} % / {w[1]:.1f} |")


if __name__ == "__main__":
    main()
