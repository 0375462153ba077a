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
