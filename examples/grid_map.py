#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A map of an event's onset over a grid: 20 x 20 cells, 300 times each, fitted with
tolvenar.xarray.fit_grid on a Dask cluster, drawn as a PNG.

Each cell holds a ramp from 0 to 1 whose start X2 moves smoothly over the map, 40 time steps
long, plus noise of sd 0.15. The picture shows the true X2, the search's X2 and the refined X2.

    PYTHONPATH=build/python python3 examples/grid_map.py                  # 2 local workers
    PYTHONPATH=build/python python3 examples/grid_map.py --workers 1
    PYTHONPATH=build/python python3 examples/grid_map.py --scheduler scheduler:8786
"""

import argparse
import time

import dask.distributed
import matplotlib
import numpy as np
import xarray as xr

import tolvenar.xarray

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 (after the backend)


def synthetic_grid(cells=20, times=300, seed=1):
    """y over (lat, lon, time) and the true X2 over (lat, lon)."""
    rng = np.random.default_rng(seed)
    lat = np.linspace(-1, 1, cells)
    lon = np.linspace(-1, 1, cells)
    onset = 120 + 50 * np.sin(2 * lat)[:, None] * np.cos(1.5 * lon)[None, :]
    t = np.arange(times, dtype=float)
    y = np.clip((t - onset[..., None]) / 40, 0, 1) + rng.normal(0, 0.15, (cells, cells, times))
    coords = {"lat": lat, "lon": lon}
    return (xr.DataArray(y, dims=("lat", "lon", "time"), coords={**coords, "time": t}),
            xr.DataArray(onset, dims=("lat", "lon"), coords=coords))


def draw(true_x2, fitted, path):
    panels = [(true_x2, "true X2"), (fitted.x2, "search X2"), (fitted.refined_x2, "refined X2")]
    figure, axes = plt.subplots(1, 3, figsize=(13, 4.2), constrained_layout=True)
    for axis, (values, title) in zip(axes, panels):
        image = axis.pcolormesh(values.lon, values.lat, values, vmin=60, vmax=180,
                                cmap="viridis", shading="auto")
        axis.set(title=title, xlabel="lon", ylabel="lat", aspect="equal")
    figure.colorbar(image, ax=axes, label="X2, the ramp's start (time steps)")
    figure.savefig(path, dpi=100)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--workers", type=int, default=2, help="local Dask workers (threads)")
    parser.add_argument("--scheduler", help="a running cluster's scheduler, e.g. scheduler:8786")
    parser.add_argument("--output", default="grid_map.png", help="the picture (PNG)")
    args = parser.parse_args()

    da, true_x2 = synthetic_grid()
    if args.scheduler:
        client = dask.distributed.Client(args.scheduler)
    else:
        # The fit releases the GIL, so threads of one process share the cores.
        cluster = dask.distributed.LocalCluster(n_workers=args.workers, threads_per_worker=1,
                                                processes=False, dashboard_address=None)
        client = dask.distributed.Client(cluster)
    with client:
        start, cpu = time.perf_counter(), time.process_time()
        fitted = tolvenar.xarray.fit_grid(da.chunk({"lat": 2}), model="ramp", refine=True)
        fitted = fitted.compute()
        seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
    error = np.abs(fitted.refined_x2 - true_x2)
    print(f"{da.sizes['lat']} x {da.sizes['lon']} cells x {da.sizes['time']} times: "
          f"{seconds:.2f} s ({cpu:.2f} s of processor time here); refined X2 within {float(error.median()):.2f} of the truth "
          f"(median), {float(error.max()):.2f} at most; status {np.unique(fitted.status)}")
    draw(true_x2, fitted, args.output)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
