# SPDX-License-Identifier: GPL-3.0-or-later
# tolvenar.fit is tolvenar-fit on arrays: the same object, number for number, and the same
# reasons for what either refuses; Ctrl-C stops it.
import json
import os
import re
import signal
import threading

import numpy as np
import pytest

import tolvenar
from conftest import EXAMPLES, example_rows, write_rows

# file, tolvenar-fit's options, fit()'s keywords, y rows made gaps (NaN)
SAME_FITS = [
    ("step_ramp.csv", [], {}, []),
    ("step_ramp.csv", ["--model", "free4", "--runs", "3", "--refine", "--threads", "1"],
     dict(model="free4", runs=3, refine=True, threads=1), [5, 6, 300]),
    ("asymmetric_event.csv", ["--model", "asymmetric", "--from", "300", "--to", "900",
                              "--constrain", "--refine", "--seed", "7"],
     dict(model="asymmetric", lo=300, hi=900, constrain=True, refine=True, seed=7), []),
    ("plateau_event.csv", ["--model", "Event with duration", "--trials", "300", "--bootstrap",
                           "20", "--level", "0.8", "--from", "100.25"],
     dict(model="Event with duration", trials=300, bootstrap=20, level=0.8, lo=100.25), []),
    ("gauge_with_gaps.csv", ["--model", "symmetric", "--refine"],
     dict(model="symmetric", refine=True), []),
    # weighted: every fourth point four times as uncertain
    ("step_ramp.csv", ["--sigma", "sigma", "--refine", "--bootstrap", "20"],
     dict(refine=True, bootstrap=20), "sigma"),
]


@pytest.mark.parametrize("name, args, kw, gaps", SAME_FITS)
def test_fit_is_tolvenar_fit_json_bit_for_bit(name, args, kw, gaps, fit_json, tmp_path):
    x, y = example_rows(name)
    if gaps == "sigma":
        kw = {**kw, "sigma": np.where(np.arange(len(x)) % 4 == 0, 2.0, 0.5)}
        path = write_rows(tmp_path / name, x, y, kw["sigma"])
    else:
        y[gaps] = np.nan
        path = write_rows(tmp_path / name, x, y) if gaps else EXAMPLES / name
    [want] = fit_json(*args, path)
    assert want["status"] == "fitted"
    result = tolvenar.fit(x, y, **kw)
    # Texts of equal doubles are equal: repr is the shortest text that reads back to the double.
    assert json.dumps(result.to_dict()) == json.dumps({**want, "file": None})
    for model in ("best", "refined"):
        if model in want:
            assert np.array_equal(getattr(result, model).x, want[model]["x"])
    assert result.from_ == want["from"]


def test_compare_is_tolvenar_fit_compare_json(fit_json):
    x, y = example_rows("plateau_event.csv")
    args = ["--runs", "2", "--trials", "200", "--test-replicates", "19"]
    [want] = fit_json("--compare", *args, EXAMPLES / "plateau_event.csv")
    result = tolvenar.compare(x, y, runs=2, trials=200, test_replicates=19)
    assert json.dumps(result.to_dict()) == json.dumps({**want, "file": None})
    assert result.chosen == want["chosen"] and len(result.comparison) == 8


def file_reason(run, path, args):
    """Why tolvenar-fit refuses the file, told as of arrays: the reason without the file's name,
    the line, or the pointer to --help."""
    done = run("--json", *args, path)
    reason = json.loads(done.stdout)["reason"] if done.stdout else done.stderr.strip()
    reason = reason.removeprefix("tolvenar-fit: ").removeprefix(f"{path}: ")
    return re.sub(r"^line \d+ \((data row \d+)\)", r"\1", reason.removesuffix(" (see --help)"))


def rows(count=10, **changes):
    x, y = np.arange(count, dtype=float), np.arange(count, dtype=float) % 3
    for key, value in changes.items():
        (x if key[0] == "x" else y)[int(key[1:])] = value
    return x, y


# fit()'s rows, tolvenar-fit's reason for them as a file; or what fit() says of what no file holds.
REFUSALS = [
    (rows(x5=2.0), None),                      # out of order, naming the row
    (rows(x2=np.nan), None),                   # a missing x
    (rows(y3=1e39), None),                     # beyond the single range
    (rows(x1=-1.0, x2=-2.0), None),            # downwards, then not
    ((np.arange(5.0), np.ones(5)), None),      # no vertical extent
    (rows(3), "only 3 data rows, where four are needed"),
    (rows(6, y1=np.nan, y2=np.nan, y3=np.nan),
     "only 3 data rows hold a y value (3 are gaps), where four are needed"),
    ((np.arange(5.0), np.arange(4.0)), "x holds 5 values and y 4: each row needs one of each"),
]


@pytest.mark.parametrize("data, reason", REFUSALS)
def test_refused_rows_raise_value_error_with_tolvenar_fit_reason(data, reason, tolvenar_fit,
                                                                 tmp_path):
    if reason is None:
        reason = file_reason(tolvenar_fit, write_rows(tmp_path / "rows.csv", *data), [])
    with pytest.raises(ValueError) as refusal:
        tolvenar.fit(*data)
    assert str(refusal.value) == reason


# Keywords that fit() refuses, each named with its value as the caller wrote it.
KEYWORD_REFUSALS = [
    (dict(model="wiggle"), "model must be one of ramp, symmetric, asymmetric, free4, free3, "
                           "duration (or their captions), not 'wiggle'"),
    (dict(model="manual"), "model='manual': \"Manual constraint\" needs its boxes drawn with the "
                           "mouse: use the window"),
    (dict(runs=2.5), "runs must be a whole number from 1 to 32767, not 2.5"),
    (dict(runs=0), "runs must be a whole number from 1 to 32767, not 0"),
    (dict(trials="1e3"), "trials must be a whole number from 1 to 2147483647, not '1e3'"),
    (dict(trials=-1), "trials must be a whole number from 1 to 2147483647, not -1"),
    (dict(lo=20, hi=30), "cannot crop: no data row at or right of the left edge 20 (the last "
                         "data x is 9)"),
    (dict(lo=5, hi=3), "the crop window's right edge, hi=3, lies left of its left edge, lo=5"),
    (dict(lo="a"), "lo must be a number, not 'a'"),
    (dict(bootstrap=5), "bootstrap must be 0 or a whole number from 20 to 1000000, not 5"),
    (dict(level=1.5, bootstrap=20),
     "level must be a fraction between 0 and 1 (0.9 for 90 %), not 1.5"),
    (dict(seed=-1), "seed must be a whole number from 0 to 4294967295, not -1"),
    (dict(threads=-2), "threads must be a whole number from 0 to 1024, not -2"),
    (dict(sigma=np.arange(10.0)),
     "data row 1: sigma = 0 is not positive, where an uncertainty must be"),
]


@pytest.mark.parametrize("kw, reason", KEYWORD_REFUSALS)
def test_refused_keywords_raise_value_error_naming_the_keyword(kw, reason):
    with pytest.raises(ValueError) as refusal:
        tolvenar.fit(*rows(), **kw)
    assert str(refusal.value) == reason


def test_a_search_that_stops_on_a_fault_raises_runtime_error():
    with pytest.raises(RuntimeError, match="^search stopped: overflow"):
        tolvenar.fit(*rows(y3=1e20))


def test_ctrl_c_raises_keyboard_interrupt_and_stops_the_fit():
    x, y = example_rows("step_ramp.csv")
    threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
    with pytest.raises(KeyboardInterrupt):
        tolvenar.fit(x, y, runs=30000, trials=100000)
    assert tolvenar.fit(x, y, runs=1, trials=10).status == "fitted"
