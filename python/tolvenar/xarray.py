# SPDX-License-Identifier: GPL-3.0-or-later
"""Fits of every cell of a gridded series (a time series per pixel, station or model cell).

``fit_grid(da, dim="time", **kw)`` fits the series along ``dim`` of each cell as
``tolvenar.fit`` does, through ``xarray.apply_ufunc(..., dask="parallelized")``: a grid chunked
with Dask is spread over the cluster's workers, block by block.
"""

from typing import Any

import numpy as np
import xarray as xr

from . import _family, _options, _record, _tolvenar

# tolvenar-fit's exit codes of a file, here of a cell: fitted, refused (the rows or the crop),
# failed (the search found no model).
_STATUS = {"fitted": 0, "refused": 2, "failed": 3}


def value_names(family: dict[str, Any]) -> list[str]:
    """The grid's variables for a family's row with the options' refine and bootstrap, as
    tolvenar-fit --csv names its columns: the family's own vertices, R, the sum of squares and its measure; then with refine
    the refined ones, with bootstrap the intervals' bounds (x1_lo, x1_hi, ...)."""
    k = range(1, family["vertices"] + 1)
    measure = [family["measure"]] if family["measure"] else []
    values = [f"x{i}" for i in k] + [f"y{i}" for i in k]
    names = values + ["r", "sq_dist"] + measure
    if family["refine"]:
        names += ["refined_" + name for name in names]
    if family["bootstrap"]:
        names += [f"{name}_{end}" for name in values + measure for end in ("lo", "hi")]
    return names


def _cell_values(record, family):
    """The values of one cell's record in value_names' order; NaN for a cell not fitted."""
    count = len(value_names(family))
    if record["status"] != "fitted":
        return [np.nan] * count
    vertices, measure = family["vertices"], family["measure"]

    def model(member, measure_value):
        return (member["x"][:vertices] + member["y"][:vertices] + [member["r"], member["sq_dist"]]
                + ([measure_value] if measure else []))

    values = model(record["best"], record.get(measure))
    if family["refine"]:
        values += model(record["refined"], record["refined"].get(measure))
    if family["bootstrap"]:
        boot = record["bootstrap"]
        for bounds in boot["x"][:vertices] + boot["y"][:vertices]:
            values += bounds
        if measure:
            values += boot.get(measure) or [None, None]
    return values


def _days(value, origin):
    return (np.asarray(value).astype("datetime64[ns]") - origin) / np.timedelta64(1, "D")


def fit_grid(da: xr.DataArray, dim: str = "time", **kw: Any) -> xr.Dataset:
    """Fit every cell of ``da`` along ``dim`` as ``tolvenar.fit`` fits one series.

    Parameters
    ----------
    da : xarray.DataArray
        y of every cell; NaN is a gap, as in fit(). Chunked with Dask over the other dims, each
        block becomes one task, so a cluster (``dask.distributed.Client(...)``) spreads the
        grid; the result is then lazy (``.compute()``).
    dim : str
        The series' dimension, whose coordinate gives x. A datetime coordinate becomes days
        from its first time, as a data file's dates do, and the x results become datetimes
        again (durations stay in days); lo and hi may then be dates.
    **kw
        fit()'s keywords: model, runs, trials, lo, hi, constrain, refine, bootstrap, level,
        seed, threads, and ``sigma``, a DataArray of y's uncertainties shaped like ``da``.
        threads defaults to 1 for a chunked grid, whose cells already share the cores.

    Returns
    -------
    xarray.Dataset
        One variable per value, over the other dims, named as tolvenar-fit --csv's columns:
        x1..xN and y1..yN (the family's N vertices), r, sq_dist, the family's measure
        (duration or symmetry_index), with refine refined_x1.., refined_r, ..., with bootstrap
        x1_lo, x1_hi, ..., and ``status``: 0 fitted, 2 refused (the cell's rows or the crop,
        e.g. fewer than four values), 3 failed (no model found), the values of such a cell NaN.
        Each cell's values equal fit()'s on its series.

    Raises
    ------
    ValueError
        Bad keywords, named as fit() names them, before any cell is fitted.
    """
    sigma = kw.pop("sigma", None)
    x = np.asarray(da[dim].values)
    origin = x[0] if np.issubdtype(x.dtype, np.datetime64) else None
    if origin is not None:
        origin = np.datetime64(origin, "ns")
        x = _days(x, origin)
        for edge in ("lo", "hi"):
            if kw.get(edge) is not None:
                kw[edge] = _days(kw[edge], origin)
    x = np.ascontiguousarray(x, dtype=np.float64)
    kw.setdefault("threads", 1 if da.chunks else 0)
    options = _options(**kw)
    family = {**_family(options["model"]), "refine": options["refine"] or options["bootstrap"] > 0,
              "bootstrap": options["bootstrap"]}
    names = value_names(family) + ["status"]

    def cells(y, s=None):
        out = np.empty(y.shape[:-1] + (len(names),))
        for index in np.ndindex(*y.shape[:-1]):
            record = _record(options, x, y[index], None if s is None else s[index])
            out[index] = _cell_values(record, family) + [_STATUS[record["status"]]]
        return out

    inputs = [da] if sigma is None else [da, sigma]
    values = xr.apply_ufunc(cells, *inputs, input_core_dims=[[dim]] * len(inputs),
                            output_core_dims=[["value"]], dask="parallelized",
                            output_dtypes=[np.float64],
                            dask_gufunc_kwargs={"output_sizes": {"value": len(names)},
                                                "allow_rechunk": True})
    grid = values.assign_coords(value=names).to_dataset(dim="value")
    grid["status"] = grid["status"].astype(np.int16)
    if origin is not None:
        for name in names:
            if name.removeprefix("refined_").startswith("x"):
                nanoseconds = (grid[name] * 86400e9).round()
                grid[name] = origin + nanoseconds.astype("timedelta64[ns]")
    asked = ", ".join(f"{key}={value!r}" for key, value in options.items())
    grid.attrs.update(model=family["model"], options=asked, version=_tolvenar.__version__)
    return grid
