# SPDX-License-Identifier: GPL-3.0-or-later
# fit_grid is a fit per cell: each cell's values are tolvenar-fit --csv's row for the cell's
# rows as a file, and a Dask cluster gives the serial grid.
import csv
import io

import numpy as np
import pytest
import xarray as xr

import tolvenar.xarray
from conftest import write_rows

KW = dict(model="asymmetric", runs=2, trials=150, refine=True, bootstrap=20, seed=11)
ARGS = ["--model", "asymmetric", "--runs", "2", "--trials", "150", "--bootstrap", "20",
        "--seed", "11"]


def grid(times=np.arange(60.0) * 0.5):
    """3 x 2 cells of a noisy event whose peak moves with the cell; cell (0, 1) all gaps."""
    rng = np.random.default_rng(3)
    peak = 8 + 4 * np.arange(6).reshape(3, 2)
    t = np.arange(60.0) * 0.5
    y = np.clip(1 - np.abs(t - peak[..., None]) / 5, 0, None) + rng.normal(0, 0.05, (3, 2, 60))
    y[0, 1] = np.nan
    return xr.DataArray(y, dims=("lat", "lon", "time"),
                        coords={"lat": [10.0, 20.0, 30.0], "lon": [1.0, 2.0], "time": times})


def test_each_cell_is_tolvenar_fit_csv_row(tolvenar_fit, tmp_path):
    da = grid()
    fitted = tolvenar.xarray.fit_grid(da, **KW)
    files = [write_rows(tmp_path / f"{i}.csv", da.time.values, cell)
             for i, cell in enumerate(da.values.reshape(6, -1))]
    table = list(csv.DictReader(io.StringIO(tolvenar_fit("--csv", *ARGS, *files).stdout)))
    codes = {"fitted": 0, "refused": 2, "failed": 3}
    for name in fitted.data_vars:
        want = [codes[row[name]] if name == "status"
                else row[name].rpartition("not a data file: ")[2] if name == "reason"
                else float(row[name] or "nan") for row in table]
        assert np.array_equal(fitted[name].values.ravel(), want, equal_nan=name != "reason")
    assert fitted.status.values.ravel().tolist() == [0, 2, 0, 0, 0, 0]
    assert {"x4", "symmetry_index", "refined_x4", "x4_hi", "symmetry_index_lo"} <= set(fitted)
    assert "x6" not in fitted and "duration" not in fitted


def test_units_and_status_flags_survive_a_dataset_and_netcdf(tmp_path):
    da = grid()
    da.attrs["units"] = "K"
    da.time.attrs["units"] = "ka BP"
    data = xr.Dataset({"temperature": da, "other": da * 2})
    fitted = tolvenar.xarray.fit_grid(data, var="temperature", **KW)
    assert fitted.x2.units == "ka BP" and fitted.refined_y3.units == "K"
    assert fitted.x2_lo.units == "ka BP" and "units" not in fitted.r.attrs
    assert fitted.status.flag_meanings == "fitted refused failed"
    assert fitted.reason.values[0, 1].startswith("only 0 data rows hold a y value")
    fitted.to_netcdf(tmp_path / "grid.nc")
    with xr.open_dataset(tmp_path / "grid.nc") as back:
        assert back.status.flag_values.tolist() == [0, 2, 3] and back.x2.units == "ka BP"
    with pytest.raises(ValueError, match="^var must name one of the Dataset's variables "
                                         r"\(temperature, other\), not None"):
        tolvenar.xarray.fit_grid(data, **KW)


def test_datetime_time_is_days_from_the_first():
    days = grid()
    dates = grid(np.datetime64("2024-03-01") + np.arange(60) * np.timedelta64(12, "h"))
    by_days = tolvenar.xarray.fit_grid(days, lo=3.0, **KW)
    by_dates = tolvenar.xarray.fit_grid(dates, lo="2024-03-04", **KW)
    x2 = np.datetime64("2024-03-01", "ns") + (by_days.x2 * 86400e9).round().astype("m8[ns]")
    assert np.array_equal(by_dates.x2.values, x2.values, equal_nan=True)
    assert np.array_equal(by_dates.symmetry_index, by_days.symmetry_index, equal_nan=True)


def test_a_dask_cluster_gives_the_serial_grid():
    distributed = pytest.importorskip("distributed")
    da = grid()
    serial = tolvenar.xarray.fit_grid(da, **KW)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        spread = tolvenar.xarray.fit_grid(da.chunk({"lat": 1}), **KW)
        assert spread.x2.chunks is not None
        spread = spread.compute()
    xr.testing.assert_equal(spread, serial)  # the attributes differ in --threads alone
