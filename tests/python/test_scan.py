# SPDX-License-Identifier: GPL-3.0-or-later
# tolvenar.scan is tolvenar-fit --scan on arrays: the same objects, the same table.
import json

import numpy as np
import pytest

import tolvenar
from conftest import EXAMPLES, example_rows


@pytest.mark.parametrize("name, args, kw", [
    ("asymmetric_event.csv", ["--bootstrap", "20", "--seed", "7"], dict(bootstrap=20, seed=7)),
    ("gauge_with_gaps.csv", ["--model", "free3", "--max-events", "1", "--penalty", "60"],
     dict(model="free3", max_events=1, penalty=60)),
])
def test_scan_is_tolvenar_fit_scan_json(name, args, kw, fit_json, tolvenar_fit):
    x, y = example_rows(name)
    want = fit_json("--scan", *args, EXAMPLES / name)
    events = tolvenar.scan(x, y, **kw)
    assert [json.dumps(e.to_dict()) for e in events] == \
        [json.dumps({**w, "file": None}) for w in want]
    assert [e.event for e in events] == list(range(1, len(want) + 1))
    assert events.scan.penalty == want[0]["scan"]["penalty"]
    table = events.to_dataframe()
    assert list(table["event"]) == [e.event for e in events]
    assert np.array_equal(table["scan_onset"], [e.scan.onset for e in events])
    csv = tolvenar_fit("--scan", "--csv", *args, EXAMPLES / name).stdout.splitlines()
    assert list(table.columns) == [c for c in csv[0].split(",") if c != "file"]


def test_scan_of_noise_alone_is_empty_with_the_scans_figures():
    rows = np.random.default_rng(3)
    x = np.arange(400.0)
    events = tolvenar.scan(x, 10.0 + rows.standard_normal(400))
    assert events == [] and events.to_dataframe().empty
    assert events.scan.points == 400 and 0.8 < events.scan.noise_sd < 1.2


@pytest.mark.parametrize("kw, reason", [
    (dict(min_size=0), "min_size must be a whole number from 1 to 1000000, not 0"),
    (dict(penalty=-1), "penalty must be a number, 0 or more, not -1"),
    (dict(max_events=1.5), "max_events must be a whole number"),
    (dict(lo=400, hi=500), "holds no data point"),
])
def test_scan_refusals_name_the_keyword(kw, reason):
    x, y = example_rows("step_ramp.csv")
    with pytest.raises(ValueError, match=reason):
        tolvenar.scan(x, y, **kw)


def test_dated_rows_scan_and_lag_as_tolvenar_fit_reads_their_dates(fit_json, tmp_path):
    rng = np.random.default_rng(3)
    hours = np.arange(400)
    when = np.datetime64("2024-03-01T00:00") + hours.astype("timedelta64[h]")
    a = np.clip((hours - 150) / 30, 0, 1) * 3 + 0.3 * rng.standard_normal(400)
    b = np.clip((hours - 160) / 30, 0, 1) * 2 + 0.3 * rng.standard_normal(400)
    path = tmp_path / "dated.csv"
    path.write_text("time,a,b\n" + "".join(
        f"{np.datetime_as_string(t, unit='m')},{u!r},{v!r}\n" for t, u, v in zip(when, a, b)))
    events = tolvenar.scan(when, a, runs=3, trials=300)
    assert [e.to_dict() for e in events] == \
        [dict(w, file=None) for w in fit_json("--scan", "--y", "a", "--runs", 3, "--trials", 300,
                                              path)]
    assert events[0].scan.onset.dtype.kind == "M" and events[0].refined.x.dtype.kind == "M"
    lags = tolvenar.lags(when, {"a": a, "b": b}, to="b", runs=3, trials=300, bootstrap=20)
    written = fit_json("--y", "a,b", "--lag-to", "b", "--runs", 3, "--trials", 300,
                       "--bootstrap", 20, path)[0]
    for fit in written["series"].values():
        fit["file"] = None
    assert lags.to_dict() == dict(written, file=None)
    assert lags.series["a"].refined.x.dtype.kind == "M" and lags.to.dtype.kind == "M"
