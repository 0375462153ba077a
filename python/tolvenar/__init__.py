# SPDX-License-Identifier: GPL-3.0-or-later
"""Tolvenar from Python: tolvenar-fit's fits of a measured series, from arrays.

``fit(x, y, ...)`` fits a piecewise-linear event model to the rows (x, y) exactly as
``tolvenar-fit`` fits a data file holding them, refined to the family's least-squares optimum,
and returns a FitResult: what ``tolvenar-fit --json`` writes, with ``predict``, ``plot`` and
``params``. ``compare(x, y, ...)`` asks first whether there is an event and which family fits
it, as ``tolvenar-fit --compare`` does; ``scan(x, y, ...)`` finds every event and fits each on
its own crop, as ``tolvenar-fit --scan`` does. ``tolvenar.xarray.fit_grid`` fits every cell of a
gridded series, through Dask when the grid is chunked.
"""

import numpy as np

from . import _tolvenar
from .inputs import XAxis, column
from .results import Bootstrap, Candidate, CompareResult, Crop, FitResult, Model, Record

__version__ = _tolvenar.__version__
__all__ = ["fit", "compare", "scan", "FitResult", "CompareResult", "EventResult", "Events",
           "Record", "Crop", "Model", "Bootstrap", "Candidate"]


_FAMILIES = _tolvenar.families()


def _family(model):
    """The family table's row of ``model``, by short name or caption."""
    for row in _FAMILIES:
        if model in (row["name"], row["model"]):
            if row["drawn"]:
                raise ValueError(f'model={model!r}: "{row["model"]}" needs its boxes drawn with '
                                 "the mouse: use the window")
            return row
    names = ", ".join(row["name"] for row in _FAMILIES if not row["drawn"])
    raise ValueError(f"model must be one of {names} (or their captions), not {model!r}")


def _whole(name, value, low, high, what=None):
    """``value`` as an int in [low, high]; ValueError naming the keyword otherwise."""
    try:
        number = None if isinstance(value, bool) else value.__index__()
    except (AttributeError, TypeError):
        number = None
    if number is None or not low <= number <= high:
        raise ValueError(f"{name} must be {what or f'a whole number from {low} to {high}'}, "
                         f"not {value!r}")
    return number


def _fraction(name, value, example):
    """``value`` as a float strictly between 0 and 1; ValueError naming the keyword otherwise."""
    try:
        number = float(value)
    except (TypeError, ValueError):
        number = None
    if isinstance(value, bool) or number is None or not 0.0 < number < 1.0:
        raise ValueError(f"{name} must be a fraction between 0 and 1 ({example}), not {value!r}")
    return number


def _seed(value):
    """A seed as the core takes it: a whole number as it is; None draws a fresh one from the
    operating system, an np.random.Generator draws one from itself, as numpy's own do."""
    if value is None:
        return int(np.random.SeedSequence().generate_state(1)[0])
    if isinstance(value, np.random.Generator):
        return int(value.integers(2**32))
    return _whole("seed", value, 0, 2**32 - 1,
                  "a whole number from 0 to 4294967295, None or an np.random.Generator")


def _options(model="ramp", runs=10, trials=1000, lo=None, hi=None, constrain=False,
             refine=True, bootstrap=0, level=0.9, seed=5489, threads=0, compare=False,
             test_replicates=199, alpha=0.05, axis=None):
    """fit()'s keywords checked and as the module takes them; ValueError names the keyword.
    ``axis`` takes the crop's edges as the series' x are taken (numbers, or dates)."""
    family = None if compare else _family(model)
    if bootstrap != 0:
        _whole("bootstrap", bootstrap, 20, 1000000,
               "0 or a whole number from 20 to 1000000")
    axis = axis or XAxis(np.empty(0))
    return dict(model=family["name"] if family else "ramp",
                runs=_whole("runs", runs, 1, 32767),
                trials=_whole("trials", trials, 1, 2**31 - 1,
                              "a whole number of at least 1 (at most 2147483647)"),
                lo=axis.edge("lo", lo), hi=axis.edge("hi", hi), lo_name=f"lo={lo!r}",
                hi_name=f"hi={hi!r}", constrain=bool(constrain),
                refine=bool(refine), bootstrap=int(bootstrap),
                level=_fraction("level", level, "0.9 for 90 %"),
                seed=_seed(seed),
                threads=_whole("threads", threads, 0, 1024), compare=bool(compare),
                test_replicates=_whole("test_replicates", test_replicates, 0, 1000000),
                alpha=_fraction("alpha", alpha, "0.05 for 5 %"))


def _run(options, axis, y, sigma=None):
    """The module's answer for the rows: "record", the record's object whatever its status,
    and its extras (x as days for dates, the band, the line a comparison chose)."""
    return _tolvenar.fit(axis.values, column(y, "y"),
                         None if sigma is None else column(sigma, "sigma"), options)


def _record(options, x, y, sigma=None):
    """The record's object of the rows fitted as ``options`` ask, whatever its status."""
    return _run(options, XAxis(x), y, sigma)["record"]


def _result(answer, result_type, axis, y, **extra):
    record = answer["record"]
    if record["status"] == "refused":
        raise ValueError(record["reason"])
    if record["status"] == "failed":
        raise RuntimeError(record["reason"])
    data = (axis.data if axis.dated else axis.values, column(y, "y"))
    return result_type(record, answer.get("days"), axis, data, answer.get("band"), **extra)


def fit(x, y, model="ramp", runs=10, trials=1000, lo=None, hi=None, constrain=False,
        refine=True, bootstrap=0, level=0.9, seed=5489, sigma=None, threads=0):
    """Fit a piecewise-linear event model to the rows (x, y), as tolvenar-fit fits a file.

    The same rows, options and seed give the same numbers as ``tolvenar-fit --json``, bit for
    bit, on any number of threads.

    Parameters
    ----------
    x, y : array_like, one-dimensional, of one length
        The rows in file order: x increasing (equal x allowed) or strictly falling throughout.
        A NaN y is a gap (the row is left out), as an empty y in a file is; so are masked values
        and pandas' NA. x may be datetimes (a DatetimeIndex, datetime64, Timestamps): read as
        days from the first, as a file's ISO dates are, with the results' x as datetime64 and
        ``to_dict()`` writing them as tolvenar-fit does.
    model : str
        "ramp" ("Simple ramp"), "symmetric", "asymmetric", "duration" ("Event with duration"),
        "free3" or "free4", by short name or caption.
    runs, trials : int
        Runs per search and random candidates per run (whole numbers).
    lo, hi : float or date, optional
        The crop's edges in data x (tolvenar-fit's --from and --to); default the first and
        the last x.
    constrain : bool
        Search a second time, inside the boxes around the break points found.
    refine : bool
        Move from the search's best model to the family's least-squares optimum near it
        (``refined``, the result's ``optimum``); False keeps the search alone.
    bootstrap : int
        Refine, then refit this many replicates (20 or more; 0: none) for an interval of every
        value at ``level`` (a fraction, default 0.9) (``bootstrap``).
    seed : int, None or numpy.random.Generator
        Start of the random source, 0 to 4294967295 (5489, the window's, by default); None
        draws a fresh one and a Generator draws one from itself, recorded in ``seed``.
    sigma : array_like of float, optional
        The y uncertainties of the rows, positive: checked as a data file's sigma column is
        and handed to the fit with the rows.
    threads : int
        Cores to use (0: every usable core); the result is the same for every number.

    Returns
    -------
    FitResult
        The members of ``tolvenar-fit --json`` as attributes (``result.refined.x``, a numpy
        array) and as ``result.to_dict()``; ``optimum``, ``predict(x)``, ``plot()``,
        ``params``.

    Raises
    ------
    ValueError
        Bad keywords, named with their value ("trials must be a whole number of at least 1
        (at most 2147483647), not -1"), a crop without a data point ("lo=20"), or rows that tolvenar-fit
        would refuse in a file, with its reason ("data row 6: x = 5 is less than the x before
        it, 6: ...", lengths that differ, fewer than four rows).
    RuntimeError
        The search stopped on a fault or found no model (tolvenar-fit's exit 3).
    KeyboardInterrupt
        Ctrl-C, within about a tenth of a second; the fit stops.
    """
    axis = XAxis(x)
    options = _options(model, runs, trials, lo, hi, constrain, refine, bootstrap, level, seed,
                       threads, axis=axis)
    return _result(_run(options, axis, y, sigma), FitResult, axis, y)


def compare(x, y, runs=10, trials=1000, lo=None, hi=None, constrain=False, refine=True,
            bootstrap=0, level=0.9, test_replicates=199, alpha=0.05, seed=5489, sigma=None,
            threads=0):
    """Is there an event in the rows (x, y), and which family fits it? As tolvenar-fit --compare.

    On the crop, a constant, a straight line and each of the six event families are fitted at
    their least-squares optimum and compared by BIC with AR(1) errors; the event test (a
    parametric bootstrap of ``test_replicates`` series under the better no-event model with its
    fitted AR(1) noise) gives ``p``, and with ``p >= alpha`` the no-event model is chosen. An
    event chosen is then searched (``runs`` x ``trials``), refined and bootstrapped as ``fit``
    does with its keywords. The same rows and keywords give the same numbers as
    ``tolvenar-fit --compare --json``.

    Returns
    -------
    CompareResult
        ``comparison``, ``chosen``, ``event_test``, and the chosen model: an event family's
        refined fit, or the constant's ``level``, the line's ``intercept`` and ``slope``.

    Raises
    ------
    ValueError, RuntimeError, KeyboardInterrupt
        As fit() does.
    """
    axis = XAxis(x)
    options = _options("ramp", runs, trials, lo, hi, constrain, refine, bootstrap, level, seed,
                       threads, True, test_replicates, alpha, axis)
    answer = _run(options, axis, y, sigma)
    return _result(answer, CompareResult, axis, y, line=answer.get("null"))


from .scan import EventResult, Events, scan  # noqa: E402  (it builds on the names above)
from .lags import LagResult, combine_lags, lags  # noqa: E402  (needs the names above)
__all__ += ["lags", "combine_lags", "LagResult"]
