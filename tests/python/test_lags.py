# SPDX-License-Identifier: GPL-3.0-or-later
# tolvenar.lags and combine_lags against tolvenar-fit --y A,B --lag-to on the same rows.
import numpy as np
import pytest

import tolvenar


def event_rows(seed):
    """x and two noisy ramps, b 8 later with gaps of its own."""
    rng = np.random.default_rng(seed)
    x = np.arange(150.0)
    a = np.clip((x - 60) / 20, 0, 1) + 0.05 * rng.standard_normal(150)
    b = np.clip((x - 68) / 20, 0, 1) + 0.05 * rng.standard_normal(150)
    b[::9] = np.nan
    return x, a, b


def test_lags_and_their_combination_are_tolvenar_fits(fit_json, tmp_path):
    files, results = [], []
    for seed in (1, 2):
        x, a, b = event_rows(seed)
        path = tmp_path / f"event{seed}.csv"
        path.write_text("x,a,b\n" + "".join(f"{u!r},{v!r},{'' if np.isnan(w) else repr(w)}\n"
                                           for u, v, w in zip(x, a, b)))
        files.append(path)
        results.append(tolvenar.lags(x, {"a": a, "b": b}, to="a", runs=3, trials=300,
                                     bootstrap=40))
    written = fit_json("--y", "a,b", "--lag-to", "a", "--runs", 3, "--trials", 300,
                       "--bootstrap", 40, *files)
    for result, line in zip(results, written):
        expected = dict(line, file=None)
        for fit in expected["series"].values():
            fit["file"] = None
        assert result.to_dict() == expected
    assert [lag["vertex"] for lag in results[0].lags] == [2, 3]
    assert results[0].series["b"].points == 150 - 17  # its own gaps left out
    assert tolvenar.combine_lags(results) == written[2]["combined"]


RAMP = [0.0, 0.0, 0.0, 1.0, 2.0, 2.0, 2.0, 2.0]


@pytest.mark.parametrize("series, to, reason", [
    ({"a": RAMP}, None, "two series or more"),
    ({"a": RAMP, "b": RAMP}, "c", 'the reference "c" is not one of the series fitted')])
def test_refused_lags_raise_value_error(series, to, reason):
    with pytest.raises(ValueError, match=reason):
        tolvenar.lags(np.arange(8.0), series, to=to)
