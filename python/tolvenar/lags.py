# SPDX-License-Identifier: GPL-3.0-or-later
"""Which moved first: several series of one event fitted alike, and each one's break points
against a reference's, with intervals; the lags of many events combined.

``lags(x, {"Ca": ca, "d18O": d18o}, to="d18O", bootstrap=200)`` gives what
``tolvenar-fit --y Ca,d18O --lag-to d18O --bootstrap 200 --json`` writes for a file holding the
columns; ``combine_lags([event1, event2, ...])`` what it writes after many files.
"""

from . import _options, _tolvenar
from .inputs import XAxis, column
from .results import FitResult, Record

__all__ = ["lags", "combine_lags", "LagResult"]


class LagResult(Record):
    """One event's series and lags; the members of a file's object of tolvenar-fit --lag-to.

    ``series`` maps each title to its fit (a FitResult, as ``fit`` gives it for that column
    alone, save that series on the same even x draw the longest blocks any of them asks);
    ``lags`` lists one dict a series other than the reference and a moving break point:
    ``series``, ``to`` (the reference), ``vertex`` (from 1, as X1), ``lag`` (the series' x minus
    the reference's, in x units: days for dates), ``interval`` ([lo, hi] at the level; None
    without bootstrap) and ``joint`` (the replicates of both shared their draws: the series
    share their x).
    """

    def __init__(self, members, numbers=None, axis=None):
        numbers = numbers or members
        super().__init__(members, {key: value for key, value in numbers.items()
                                   if key not in ("series", "lags")}, axis)
        self.series = {title: FitResult(fit, numbers["series"][title], axis)
                       for title, fit in members["series"].items()}
        self.lags = [dict(lag) for lag in members["lags"]]


def lags(x, series, to=None, model="ramp", runs=10, trials=1000, lo=None, hi=None,
         constrain=False, bootstrap=200, level=0.9, seed=5489, threads=0):
    """Fit each of ``series`` (title: y over the rows x; NaN y are gaps, each series its own)
    as ``fit`` fits it alone, refined, and give the lags of its break points to those of ``to``
    (default: the first series) with intervals at ``level`` from ``bootstrap`` replicates of all
    the series made together (on the same even x, each one's own replicates, drawn in the
    longest blocks any of them asks). The keywords are ``fit``'s.

    Raises ValueError for fewer than two series, a ``to`` that is none of them, bad keywords or
    rows ``fit`` would refuse; RuntimeError when a series' search fails.
    """
    if not isinstance(series, dict) or len(series) < 2:
        raise ValueError("series must be a dict of two series or more, title: y")
    titles = [str(title) for title in series]
    reference = titles[0] if to is None else str(to)
    axis = XAxis(x)
    options = _options(model, runs, trials, lo, hi, constrain, True, bootstrap, level, seed,
                       threads, axis=axis)
    columns = [(title, column(y, title)) for title, y in zip(titles, series.values())]
    record = _tolvenar.lags(axis.values, columns, reference, options)
    if record["status"] in ("refused", "failed"):
        raise (ValueError if record["status"] == "refused" else RuntimeError)(record["reason"])
    days = record.pop("days", None)
    return LagResult(record, days, axis)


def combine_lags(results, level=0.9):
    """The lags of many events (LagResults or their dicts, each given at ``level``) combined:
    a list of dicts ``series``, ``to``, ``vertex``, ``lag`` (weighted by each event's own
    spread), ``interval``, ``spread_interval`` (widened by the spread between events) and
    ``events``."""
    events = []
    for result in results:
        members = result.to_dict() if isinstance(result, Record) else result
        events.append(list(members["lags"]))
    return _tolvenar.combine_lags(events, float(level))["combined"]
