# SPDX-License-Identifier: GPL-3.0-or-later
# Series as Python users hold them, and what a result gives back: its optimum, predict, plot,
# params, members absent as None, seeds, the comparison's line.
import json
import re

import matplotlib
import numpy as np
import pandas as pd
import pytest

import tolvenar
from conftest import example_rows

matplotlib.use("Agg")

FAST = dict(runs=2, trials=300, threads=1)


def ramp(count=80, seed=3):
    x = np.arange(count, dtype=float)
    noise = np.random.default_rng(seed).normal(0, 0.05, count)
    return x, np.clip((x - 30) / 20, 0, 1) + noise


# y as held, each equal to its twin of float64 with NaN gaps.
HELD = [
    ("masked array", lambda y: np.ma.masked_values(np.nan_to_num(y, nan=-999.0), -999.0)),
    ("nullable Float64", lambda y: pd.array(y, dtype="Float64").fillna(pd.NA)),
    ("nullable Series", lambda y: pd.Series(y, dtype="Float64")),
    ("float32", lambda y: y.astype(np.float32)),
]


@pytest.mark.parametrize("name, hold", HELD)
def test_values_as_held_equal_their_nan_twins(name, hold):
    x, y = ramp()
    if name != "float32":
        y[[4, 17, 40]] = np.nan
    twin = y.astype(np.float32).astype(np.float64) if name == "float32" else y
    assert tolvenar.fit(x, hold(y), **FAST).to_dict() == tolvenar.fit(x, twin, **FAST).to_dict()


# x as datetimes; the same instants in a file as tolvenar-fit reads them (ISO unit, zone)
DATED = [
    (lambda: pd.date_range("2001-03-01", periods=80, freq="D"), "D", ""),
    (lambda: np.datetime64("2019-12-31T22:00") + np.arange(80) * np.timedelta64(90, "m"), "m",
     ""),
    (lambda: list(pd.date_range("1998-07-01", periods=80, freq="7D")), "D", ""),
    (lambda: pd.Series(pd.date_range("2023-06-01", periods=80, freq="30min", tz="Etc/GMT-2")),
     "m", "Z"),
]


@pytest.mark.parametrize("dates, unit, zone", DATED)
def test_datetimes_fit_as_tolvenar_fit_reads_iso_dates(dates, unit, zone, fit_json, tmp_path):
    x = dates()
    instants = np.asarray(x.dt.tz_convert(None) if zone else x, dtype="datetime64[ns]")
    _, y = ramp()
    lines = [f"{np.datetime_as_string(t, unit=unit)}{zone},{v!r}" for t, v in zip(instants, y)]
    path = tmp_path / "dated.csv"
    path.write_text("date,y\n" + "\n".join(lines) + "\n")
    [want] = fit_json("--refine", "--bootstrap", "20", "--runs", "2", "--trials", "300", path)
    result = tolvenar.fit(x, y, bootstrap=20, **FAST)
    assert json.dumps(result.to_dict()) == json.dumps({**want, "file": None})
    assert result.refined.x.dtype == np.dtype("datetime64[ns]")
    # the x back from days: the first vertex is the first row's instant
    assert result.refined.x[0] == instants[0] and result.from_ == instants[0]
    inner = result.refined.x[1]
    assert abs(result.predict(inner) - result.refined.y[1]) < 1e-9


@pytest.mark.parametrize("lo, reason", [
    (pd.NaT, "lo must be a date, not NaT"),
    (5.0, "lo=5.0 is not an ISO date, where the file's x are dates, written as 2001-03-01"),
    ("2001-03-09T12:00Z", "lo='2001-03-09T12:00Z' has a zone, but the file's date-times have")])
def test_a_dated_series_refuses_an_edge_that_is_no_date_by_its_reason(lo, reason):
    with pytest.raises(ValueError, match=f"^{re.escape(reason)}"):
        tolvenar.fit(pd.date_range("2001-03-01", periods=80, freq="D"), ramp()[1], lo=lo, **FAST)


def test_default_fit_is_the_optimum_and_absent_members_are_none():
    x, y = example_rows("step_ramp.csv")
    searched = tolvenar.fit(x, y, refine=False)
    refined = tolvenar.fit(x, y)
    assert searched.refined is None and searched.bootstrap is None
    assert searched.optimum is searched.best and refined.optimum is refined.refined
    assert refined.refined.sq_dist < searched.best.sq_dist
    assert refined.to_dict() == tolvenar.fit(x, y, refine=True).to_dict()
    assert "breaks=[(119.977, 4.11075), (184.833, 11.7963)]" in repr(refined)


def test_predict_is_the_polyline_through_the_vertices_and_nan_outside():
    x, y = ramp()
    result = tolvenar.fit(x, y, model="free3", **FAST)
    vx, vy = result.optimum.vertices()
    assert len(vx) == 4
    middle = (vx[:-1] + vx[1:]) / 2
    np.testing.assert_allclose(result.predict(vx), vy, rtol=0, atol=1e-12)
    np.testing.assert_allclose(result.predict(middle), (vy[:-1] + vy[1:]) / 2, atol=1e-12)
    assert np.isnan(result.predict([x[0] - 1, x[-1] + 1])).all()


def test_plot_and_params_show_data_model_and_intervals():
    x, y = ramp()
    result = tolvenar.fit(x, y, bootstrap=20, **FAST)
    ax = result.plot(xlabel="depth (m)")
    data, model = ax.lines[:2]
    assert np.array_equal(data.get_xdata(), x)
    assert np.array_equal(model.get_xdata(), result.optimum.vertices()[0])
    assert len(ax.collections) >= 2  # the band and the interval bars
    assert ax.get_xlabel() == "depth (m)" and ax.get_ylabel() == "y"
    table = result.params
    assert list(table.columns) == ["x", "y", "x_lo", "x_hi", "y_lo", "y_hi"]
    assert np.array_equal(table["x_lo"], result.bootstrap.x[:4, 0])
    assert np.array_equal(table["y"], result.refined.y[:4])


def test_seed_none_draws_one_and_records_it_and_a_generator_draws_from_itself():
    x, y = ramp()
    drawn = tolvenar.fit(x, y, seed=None, **FAST)
    assert drawn.to_dict() == tolvenar.fit(x, y, seed=drawn.seed, **FAST).to_dict()
    seeds = [tolvenar.fit(x, y, seed=np.random.default_rng(g), **FAST).seed for g in (1, 1, 2)]
    assert seeds[0] == seeds[1] != seeds[2]


# compare's chosen model: an event with its optimum, or a line without one with its parameters
CHOSEN = [("ramp", lambda x: np.clip((x - 30) / 20, 0, 1), None),
          ("line", lambda x: 2.0 + 0.25 * x, dict(intercept=2.0, slope=0.25)),
          ("constant", lambda x: np.full_like(x, 4.0), dict(level=4.0))]


@pytest.mark.parametrize("chosen, truth, params", CHOSEN)
def test_compare_gives_the_chosen_model_and_its_parameters(chosen, truth, params):
    x, _ = ramp()
    y = truth(x) + np.random.default_rng(4).normal(0, 0.05, x.size)
    result = tolvenar.compare(x, y, test_replicates=19, alpha=0.1, **FAST)
    assert result.chosen == chosen
    if params is None:
        assert result.optimum is result.refined
        row = next(row for row in result.comparison if row.model == chosen)
        assert result.refined.sq_dist == pytest.approx(row.sq_dist, rel=1e-6)
        return
    assert result.refined is None and dict(result.params["value"]) == pytest.approx(params,
                                                                                   abs=0.05)
    np.testing.assert_allclose(result.predict(x), truth(x), atol=0.05)
