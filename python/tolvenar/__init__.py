# SPDX-License-Identifier: GPL-3.0-or-later
"""Tolvenar from Python: tolvenar-fit's fits of a measured series, from numpy arrays.

``fit(x, y, ...)`` fits a piecewise-linear event model to the rows (x, y) exactly as
``tolvenar-fit`` fits a data file holding them, and returns what ``tolvenar-fit --json`` writes;
``compare(x, y, ...)`` asks first whether there is an event and which family fits it, as
``tolvenar-fit --compare`` does.
``tolvenar.xarray.fit_grid`` fits every cell of a gridded series, through Dask when the grid is
chunked.
"""

import copy
import keyword

import numpy as np

from . import _tolvenar

__version__ = _tolvenar.__version__
__all__ = ["fit", "compare", "FitResult", "CompareResult", "Record", "Crop", "Model",
           "Bootstrap"]


class Record:
    """A JSON object of the result with its members as attributes.

    Lists of numbers are numpy arrays of float64 (null as NaN), objects are Records, and a
    member named by a Python keyword takes a trailing underscore (``from_``). ``to_dict()``
    gives the object as Python's json module reads tolvenar-fit's line.
    """

    def __init__(self, members):
        self._members = members
        for key, value in members.items():
            setattr(self, _name(key), _attribute(key, value))

    def to_dict(self):
        """The object as dicts, lists, str, int and float, numbers equal to the JSON's."""
        return copy.deepcopy(self._members)

    def __repr__(self):
        shown = ", ".join(f"{_name(key)}={value!r}" for key, value in self._members.items()
                          if not isinstance(value, (dict, list)))
        return f"{type(self).__name__}({shown})"


class Crop(Record):
    """The crop: ``start`` (its first row), ``count``, ``min_y``, ``max_y``; ``origin`` far from
    zero, where the model x are measured from it."""


class Model(Record):
    """A model: ``x`` and ``y`` of its six vertices (numpy arrays, x in data x; a family's unused
    vertices copy its last), ``r``, ``sq_dist``; refined, the family's measure too."""


class Bootstrap(Record):
    """The refined fit's intervals: ``replicates``, ``replicates_done``, ``level``, ``seed``,
    ``block_length``, ``x`` and ``y`` (arrays of [lo, hi] rows), the family's measure [lo, hi]."""


class FitResult(Record):
    """One series fitted as tolvenar-fit fits a file; its members are those of --json.

    Provenance: ``file`` (None for arrays), ``version``, ``model``, ``from_`` and ``to`` (the
    crop's edges), ``runs``, ``trials``, ``seed``, ``constrain``, ``status`` ("fitted").
    The fit: ``points`` (in the crop), ``crop`` (``start``, ``count``, ``min_y``, ``max_y``,
    ``origin`` far from zero), ``best`` (the best model: ``x`` and ``y`` of its six vertices in
    data x, a family's unused ones copying its last, ``r``, ``sq_dist``), ``duration`` and
    ``symmetry_index`` (None where the family has none), ``trials_made``, ``report`` (the
    report's lines). With refine: ``refined`` (as ``best``, with the family's measure); with
    bootstrap: ``bootstrap`` (``replicates``, ``replicates_done``, ``level``, ``seed``,
    ``block_length``, ``x`` and ``y`` as [lo, hi] rows, the measure's [lo, hi]).
    """


class CompareResult(FitResult):
    """The families compared on the crop, then the chosen one fitted; the members of
    ``tolvenar-fit --compare --json``.

    ``comparison`` lists one object a model, sorted by BIC: ``model`` (constant, line, ramp,
    symmetric, asymmetric, duration, free3, free4), ``k`` (free values and the noise's two),
    ``sq_dist``, ``phi`` (AR(1) coefficient of the residuals), ``log_likelihood``, ``aic``,
    ``bic`` and their weights, ``chosen``. ``chosen`` names the model chosen: the lowest BIC,
    unless the event test's ``p`` (``event_test``: ``p``, ``replicates``, ``null``) is at
    ``alpha`` or above, when the better no-event model is chosen. With an event chosen, the
    members of ``fit`` for that family follow (``model`` its caption, ``best``, ...).
    """


def _name(key):
    return key + "_" if keyword.iskeyword(key) else key


_MEMBERS = {"crop": Crop, "best": Model, "refined": Model, "bootstrap": Bootstrap}


def _attribute(key, value):
    if isinstance(value, dict):
        return _MEMBERS.get(key, Record)(value)
    if isinstance(value, list) and value and all(_numeric(item) for item in value):
        return np.array(value, dtype=np.float64)  # None as NaN
    return value


def _numeric(item):
    if isinstance(item, list):
        return all(_numeric(inner) for inner in item)
    return item is None or (isinstance(item, (int, float)) and not isinstance(item, bool))


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


def _edge(name, value):
    if value is None:
        return None
    try:
        return float(value)
    except (TypeError, ValueError):
        raise ValueError(f"{name} must be a number, not {value!r}") from None


def _options(model="ramp", runs=10, trials=1000, lo=None, hi=None, constrain=False,
             refine=False, bootstrap=0, level=0.9, seed=5489, threads=0, compare=False,
             test_replicates=199, alpha=0.05):
    """fit()'s keywords checked and as the module takes them; ValueError names the keyword."""
    family = None if compare else _family(model)
    if bootstrap != 0:
        _whole("bootstrap", bootstrap, 20, 1000000,
               "0 or a whole number from 20 to 1000000")
    return dict(model=family["name"] if family else "ramp",
                runs=_whole("runs", runs, 1, 32767), trials=_whole("trials", trials, 1, 2**31 - 1),
                lo=_edge("lo", lo), hi=_edge("hi", hi), lo_name=f"lo={lo!r}",
                hi_name=f"hi={hi!r}", constrain=bool(constrain),
                refine=bool(refine), bootstrap=int(bootstrap),
                level=_fraction("level", level, "0.9 for 90 %"),
                seed=_whole("seed", seed, 0, 2**32 - 1),
                threads=_whole("threads", threads, 0, 1024), compare=bool(compare),
                test_replicates=_whole("test_replicates", test_replicates, 0, 1000000),
                alpha=_fraction("alpha", alpha, "0.05 for 5 %"))


def _column(values, name):
    column = np.ascontiguousarray(values, dtype=np.float64)
    if column.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, not of shape {column.shape}")
    return column


def _record(options, x, y, sigma=None):
    """The record's object of the rows fitted as ``options`` ask, whatever its status."""
    return _tolvenar.fit(_column(x, "x"), _column(y, "y"),
                         None if sigma is None else _column(sigma, "sigma"), options)


def _checked(record, result_type):
    if record["status"] == "refused":
        raise ValueError(record["reason"])
    if record["status"] == "failed":
        raise RuntimeError(record["reason"])
    return result_type(record)


def fit(x, y, model="ramp", runs=10, trials=1000, lo=None, hi=None, constrain=False,
        refine=False, bootstrap=0, level=0.9, seed=5489, sigma=None, threads=0):
    """Fit a piecewise-linear event model to the rows (x, y), as tolvenar-fit fits a file.

    The same rows, options and seed give the same numbers as ``tolvenar-fit --json``, bit for
    bit, on any number of threads.

    Parameters
    ----------
    x, y : array_like of float, one-dimensional, of one length
        The rows in file order: x increasing (equal x allowed) or strictly falling throughout.
        A NaN y is a gap (the row is left out), as an empty y in a file is.
    model : str
        "ramp" ("Simple ramp"), "symmetric", "asymmetric", "duration" ("Event with duration"),
        "free3" or "free4", by short name or caption.
    runs, trials : int
        Runs per search and random candidates per run (whole numbers).
    lo, hi : float, optional
        The crop's edges in data x (tolvenar-fit's --from and --to); default the first and
        the last x.
    constrain : bool
        Search a second time, inside the boxes around the break points found.
    refine : bool
        Then move to the family's least-squares optimum near the best model (``refined``).
    bootstrap : int
        Refine, then refit this many replicates (20 or more; 0: none) for an interval of every
        value at ``level`` (a fraction, default 0.9) (``bootstrap``).
    seed : int
        Start of the random source, 0 to 4294967295 (5489, the window's, by default).
    sigma : array_like of float, optional
        The y uncertainties of the rows, positive: checked as a data file's sigma column is
        and handed to the fit with the rows.
    threads : int
        Cores to use (0: every usable core); the result is the same for every number.

    Returns
    -------
    FitResult
        The members of ``tolvenar-fit --json`` as attributes (``result.best.x``, a numpy
        array) and as ``result.to_dict()``.

    Raises
    ------
    ValueError
        Bad keywords, named with their value ("trials must be a whole number from 1 to
        2147483647, not -1"), a crop without a data point ("lo=20"), or rows that tolvenar-fit
        would refuse in a file, with its reason ("data row 6: x = 5 is less than the x before
        it, 6: ...", lengths that differ, fewer than four rows).
    RuntimeError
        The search stopped on a fault or found no model (tolvenar-fit's exit 3).
    KeyboardInterrupt
        Ctrl-C, within about a tenth of a second; the fit stops.
    """
    options = _options(model, runs, trials, lo, hi, constrain, refine, bootstrap, level, seed,
                       threads)
    return _checked(_record(options, x, y, sigma), FitResult)


def compare(x, y, runs=10, trials=1000, lo=None, hi=None, constrain=False, refine=False,
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
        ``comparison``, ``chosen``, ``event_test``, and the chosen family's fit.

    Raises
    ------
    ValueError, RuntimeError, KeyboardInterrupt
        As fit() does.
    """
    options = _options("ramp", runs, trials, lo, hi, constrain, refine, bootstrap, level, seed,
                       threads, True, test_replicates, alpha)
    return _checked(_record(options, x, y, sigma), CompareResult)


from .lags import LagResult, combine_lags, lags  # noqa: E402  (needs the names above)
__all__ += ["lags", "combine_lags", "LagResult"]
