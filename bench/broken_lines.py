#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Continuous broken lines with two breaks, and their exact least-squares optimum.

  broken_lines.py make DIR            writes DIR/NN.csv, the 40 series of the peer comparison
  broken_lines.py random DIR          writes DIR/sNNN.csv, 600 series of 40-400 points, even
                                      and uneven x: ramps, broken lines, events, waves and
                                      noise alone, white or AR(1), for a wider check
  broken_lines.py check DIR JSONL     compares tolvenar-fit --json --refine lines with the
                                      optimum over the points each one cropped
  broken_lines.py compare A B         where two such runs' refined sums part (1e-6 relative)

The series: n = 300 and 1,000; x near zero, in Julian days and in fractions of a unit; signal
to noise from 30 down to 0.8 (the curve's sd over the noise's); white and AR(1) noise (phi 0.6).

The reference is written apart from the program: a hinge basis 1, t, (t - a)+, (t - b)+ with
its normal equations from cumulative sums at every pair of data points (a, b), the two lines of
a step in each interval, then the best cells searched on finer and finer grids inside them,
every level solved exactly.
"""
import json
import sys
from pathlib import Path

import numpy as np

OFFSETS = {"zero": 0.0, "julian": 2460000.5, "fraction": 0.0}


def make(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(20)
    snrs = np.geomspace(30.0, 0.8, 10)
    index = 0
    for n in (300, 1000):
        for k, snr in enumerate(snrs):
            for phi in (0.0, 0.6):
                kind = ("zero", "julian", "fraction")[(index // 2) % 3]
                span = {"zero": 100.0, "julian": 365.0, "fraction": 1.0}[kind]
                x = np.sort(rng.uniform(0.0, span, n)) + OFFSETS[kind]
                t = (x - x[0]) / (x[-1] - x[0])
                a, b = np.sort(rng.uniform(0.15, 0.85, 2))
                if b - a < 0.1:
                    b = min(a + 0.1 + 0.1 * rng.uniform(), 0.95)
                slopes = rng.normal(0.0, 3.0, 3)
                curve = 10.0 + slopes[0] * t + (slopes[1] - slopes[0]) * np.maximum(t - a, 0) \
                    + (slopes[2] - slopes[1]) * np.maximum(t - b, 0)
                sd = np.std(curve) / snr
                e = np.empty(n)
                e[0] = rng.normal()
                for i in range(1, n):
                    e[i] = phi * e[i - 1] + np.sqrt(1 - phi * phi) * rng.normal()
                y = curve + sd * e
                with open(folder / f"{index:02d}.csv", "w") as f:
                    f.write("x,y\n")
                    for xi, yi in zip(x, y):
                        f.write(f"{xi:.10f},{yi:.10f}\n")
                index += 1


def random_series(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(5)
    for k in range(600):
        n = int(rng.integers(40, 400))
        x = np.sort(rng.uniform(0, 100, n)) if rng.random() < 0.5 else np.arange(n) * 1.0
        kind = rng.integers(0, 5)
        a, b = np.sort(rng.uniform(x.min(), x.max(), 2))
        c = rng.uniform(a, x.max())
        if kind == 0:
            y = np.clip((x - a) / max(b - a, 1e-9), 0, 1)
        elif kind == 1:
            y = np.interp(x, [x.min(), a, b, x.max()], rng.normal(0, 1, 4))
        elif kind == 2:
            y = np.interp(x, [x.min(), a, (a + c) / 2, c, x.max()], [0, 0, 1, 0, 0])
        elif kind == 3:
            y = np.sin(x / rng.uniform(3, 30))
        else:
            y = np.zeros(n)
        y = y + rng.normal(0, rng.uniform(0.02, 1.0), n)
        if rng.random() < 0.3:
            e = np.zeros(n)
            phi = rng.uniform(0.3, 0.9)
            for i in range(1, n):
                e[i] = phi * e[i - 1] + rng.normal(0, 0.3)
            y = y + e
        np.savetxt(folder / f"s{k:03d}.csv", np.c_[x, y], delimiter=",", header="x,y", comments="",
                   fmt="%.6f")


def read(path):
    data = np.loadtxt(path, delimiter=",", skiprows=1)
    return data[:, 0], data[:, 1]


def hinge_sse(t, y, a, b):
    """Sums of squares of the broken lines with breaks a[k] <= b[k], every level exact."""
    basis = np.stack([np.ones((len(a), len(t))), np.broadcast_to(t, (len(a), len(t))),
                      np.maximum(t[None, :] - a[:, None], 0.0),
                      np.maximum(t[None, :] - b[:, None], 0.0)], axis=2)
    gram = np.einsum("kni,knj->kij", basis, basis)
    rhs = np.einsum("kni,n->ki", basis, y)
    ok = np.linalg.cond(gram) < 1e13
    out = np.full(len(a), np.inf)
    if ok.any():
        beta = np.linalg.solve(gram[ok], rhs[ok][..., None])[..., 0]
        fit = np.einsum("kni,ki->kn", basis[ok], beta)
        out[ok] = ((y[None, :] - fit) ** 2).sum(axis=1)
    return out


def corners(t, y):
    """Sums of squares at every pair of data points i < j as breaks (cumulative sums)."""
    n = len(t)
    rev = lambda v: np.concatenate([np.cumsum(v[::-1])[::-1], [0.0]])
    s0, s1, s2 = rev(np.ones(n)), rev(t), rev(t * t)
    sy, sty = rev(y), rev(t * y)
    i, j = np.triu_indices(n, 1)
    keep = (i > 0) & (j < n - 1)
    i, j = i[keep], j[keep]
    a, b = t[i], t[j]
    # (t - a)+ is zero at and left of point i, so suffix sums start at i + 1.
    ha, hb = s1[i + 1] - a * s0[i + 1], s1[j + 1] - b * s0[j + 1]
    haa = s2[i + 1] - 2 * a * s1[i + 1] + a * a * s0[i + 1]
    hbb = s2[j + 1] - 2 * b * s1[j + 1] + b * b * s0[j + 1]
    hab = s2[j + 1] - (a + b) * s1[j + 1] + a * b * s0[j + 1]
    tha, thb = s2[i + 1] - a * s1[i + 1], s2[j + 1] - b * s1[j + 1]
    gram = np.empty((len(i), 4, 4))
    gram[:, 0] = np.stack([np.full(len(i), n), np.full(len(i), s1[0]), ha, hb], 1)
    gram[:, 1] = np.stack([np.full(len(i), s1[0]), np.full(len(i), s2[0]), tha, thb], 1)
    gram[:, 2] = np.stack([ha, tha, haa, hab], 1)
    gram[:, 3] = np.stack([hb, thb, hab, hbb], 1)
    rhs = np.stack([np.full(len(i), sy[0]), np.full(len(i), sty[0]),
                    sty[i + 1] - a * sy[i + 1], sty[j + 1] - b * sy[j + 1]], 1)
    sse = np.full(len(i), np.inf)
    ok = np.abs(np.linalg.det(gram)) > 1e-12 * np.prod(np.diagonal(gram, axis1=1, axis2=2), 1)
    beta = np.linalg.solve(gram[ok], rhs[ok][..., None])[..., 0]
    sse[ok] = (y * y).sum() - (beta * rhs[ok]).sum(1)
    return i, j, sse


def steps(t, y):
    """Both breaks inside one interval: two separate lines, the best split."""
    best = np.inf
    for k in range(2, len(t) - 2):
        left = np.polyfit(t[:k], y[:k], 1, full=True)[1]
        right = np.polyfit(t[k:], y[k:], 1, full=True)[1]
        best = min(best, (left.sum() if len(left) else 0.0) + (right.sum() if len(right) else 0.0))
    return best


def reference(x, y, cells=24, rounds=6, side=21):
    t = (x - x[0]) / (x[-1] - x[0])
    ym = y.mean()
    yc = y - ym
    i, j, sse = corners(t, yc)
    order = np.argsort(sse)
    seen, best = set(), np.inf
    for k in order[: 4 * cells]:
        for ci in (i[k] - 1, i[k]):
            for cj in (j[k] - 1, j[k]):
                if ci < 0 or cj + 1 >= len(t) or ci > cj or (ci, cj) in seen:
                    continue
                seen.add((ci, cj))
                lo = np.array([t[ci], t[cj]])
                hi = np.array([t[ci + 1], t[cj + 1]])
                for _ in range(rounds):
                    ga, gb = np.meshgrid(np.linspace(lo[0], hi[0], side), np.linspace(lo[1], hi[1], side))
                    a, b = ga.ravel(), gb.ravel()
                    keep = a < b
                    values = hinge_sse(t, yc, a[keep], b[keep])
                    at = np.argmin(values)
                    best = min(best, values[at])
                    width = (hi - lo) / (side - 1) * 2
                    centre = np.array([a[keep][at], b[keep][at]])
                    lo = np.maximum(centre - width, [t[ci], t[cj]])
                    hi = np.minimum(centre + width, [t[ci + 1], t[cj + 1]])
        if len(seen) >= cells:
            break
    return min(best, sse[order[0]], steps(t, yc))


def polyline(t, xs, ys):
    # Each point on the segment tolvenar-fit gives it: the first whose end it does not pass, so
    # that two break points at one x (a step) leave their zero-length segment without points.
    k = np.searchsorted(xs[1:-1], t, side="left")
    x0, x1, y0, y1 = xs[k], xs[k + 1], ys[k], ys[k + 1]
    span = np.where(x1 > x0, x1 - x0, 1.0)
    return y0 + (y1 - y0) * np.where(x1 > x0, (t - x0) / span, 0.0)


def check(folder, jsonl):
    fitted = {}
    for line in Path(jsonl).read_text().splitlines():
        o = json.loads(line)
        fitted[Path(o["file"]).name] = o
    worst, reached = 0.0, 0
    files = sorted(Path(folder).glob("*.csv"))
    for path in files:
        o = fitted[path.name]
        x, y = read(path)
        rows = slice(o["crop"]["start"], o["crop"]["start"] + o["crop"]["count"])
        x, y = x[rows], y[rows]
        ref = reference(x, y)
        r = o["refined"]
        xs = np.array(r["x"][:4], dtype=float)
        ys = np.array(r["y"][:4], dtype=float)
        sse = ((y - polyline(x, xs, ys)) ** 2).sum()
        excess = sse / ref - 1.0
        worst = max(worst, excess)
        reached += excess <= 1e-6
        print(f"{path.name} reference {ref:.10g} tolvenar {sse:.10g} excess {excess:+.2e}")
    print(f"reached within 1e-6: {reached} of {len(files)}; largest excess {worst:+.2e}")


def compare(before, after):
    """Where two runs' refined sums part by more than 1e-6 relative."""
    rows = zip(*([json.loads(line) for line in Path(f).read_text().splitlines()] for f in (before, after)))
    change = [(b["refined"]["sq_dist"] - a["refined"]["sq_dist"]) / a["refined"]["sq_dist"] for a, b in rows]
    lower = [c for c in change if c < -1e-6]
    higher = [c for c in change if c > 1e-6]
    print(f"after lower on {len(lower)} (by up to {-min(lower, default=0):.2g}), "
          f"higher on {len(higher)} (by up to {max(higher, default=0):.2g})")


if __name__ == "__main__":
    command, folder = sys.argv[1], sys.argv[2]
    if command == "make":
        make(folder)
    elif command == "random":
        random_series(folder)
    elif command == "check":
        check(folder, sys.argv[3])
    elif command == "compare":
        compare(folder, sys.argv[3])
