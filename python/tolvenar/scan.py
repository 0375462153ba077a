# SPDX-License-Identifier: GPL-3.0-or-later
"""Every event of a series: ``scan(x, y, ...)`` finds its abrupt transitions and fits each on its
own crop, refined, as ``tolvenar-fit --scan`` does."""

import io

from . import _options, _tolvenar, _whole
from .inputs import XAxis, column
from .results import FitResult, Record


class EventResult(FitResult):
    """One event: the members of ``tolvenar-fit --from A --to B --refine --json`` on its crop
    (those of FitResult), with ``event`` (1, 2, ... in x order) and ``scan``: the event as the
    segmentation found it (``onset``, ``end``, ``level_before``, ``level_after``, ``amplitude``)
    and the scan's ``points``, ``noise_sd``, ``persistence``, ``phi``, ``penalty`` and ``block``.
    """


class Events(list):
    """The events found, in x order, each an EventResult; ``scan`` the scan's own figures
    (``points``, ``noise_sd``, ``persistence``, ``phi``, ``penalty``, ``block``), also when no
    event stood out. ``to_dataframe()``: a row per event, the columns of ``tolvenar-fit --scan
    --csv``."""

    def __init__(self, events, summary, csv):
        super().__init__(events)
        self.scan = Record(summary)
        self._csv = csv

    def to_dataframe(self):
        """The events as a pandas.DataFrame, every number the double of the JSON."""
        import pandas

        table = pandas.read_csv(io.StringIO(self._csv), float_precision="round_trip")
        return table.drop(columns="file")


def _penalty(value):
    if value is None:
        return None
    try:
        number = float(value)
    except (TypeError, ValueError):
        number = None
    if isinstance(value, bool) or number is None or not 0.0 <= number < float("inf"):
        raise ValueError(f"penalty must be a number, 0 or more, not {value!r}")
    return number


def scan(x, y, model="ramp", runs=10, trials=1000, lo=None, hi=None, bootstrap=0, level=0.9,
         seed=5489, min_size=1, penalty=None, max_events=0, sigma=None, threads=0):
    """Find every abrupt transition of the rows (x, y) and fit each on its own crop.

    The noise (its variance and persistence) is estimated from the rows, the exact penalised
    continuous segmentation finds the transitions that stand out from it, and each event is
    then searched, refined and bootstrapped on its crop exactly as ``fit(x, y, lo=A, hi=B,
    refine=True, ...)`` fits that crop alone. The same rows and keywords give the numbers of
    ``tolvenar-fit --scan --json``, on any number of threads.

    Parameters
    ----------
    x, y, model, runs, trials, bootstrap, level, seed, sigma, threads
        As fit() takes them; each event's fit is refined.
    lo, hi : float, optional
        The part of the rows scanned (default all).
    min_size : int
        Least points a segment of the scan holds (1 or more).
    penalty : float, optional
        The cost of a break in squared residuals over the noise variance; default from the
        noise, for about 5 % of false events in red noise alone.
    max_events : int
        Keep the largest this many events (0: all).

    Returns
    -------
    Events
        A list of EventResult in x order (empty when none stands out), with ``scan`` and
        ``to_dataframe()``.

    Raises
    ------
    ValueError, KeyboardInterrupt
        As fit() does.
    """
    axis = XAxis(x)
    options = _options(model, runs, trials, lo, hi, False, True, bootstrap, level, seed,
                       threads, axis=axis)
    scan_options = dict(min_size=_whole("min_size", min_size, 1, 1000000),
                        penalty=_penalty(penalty),
                        max_events=_whole("max_events", max_events, 0, 1000000))
    objects, csv, days = _tolvenar.scan(axis.values, column(y, "y"),
                                        None if sigma is None else column(sigma, "sigma"),
                                        options, scan_options)
    if "event" not in objects[0]:  # refused, or nothing stood out
        status = objects[0]["status"]
        if status in ("refused", "failed"):
            raise (ValueError if status == "refused" else RuntimeError)(objects[0]["reason"])
        return Events([], objects[0]["scan"], csv)
    summary = {key: value for key, value in objects[0]["scan"].items()
               if key not in ("onset", "end", "level_before", "level_after", "amplitude")}
    data = (axis.data if axis.dated else axis.values, column(y, "y"))
    numbers = days or objects
    return Events([EventResult(event, number, axis, data)
                   for event, number in zip(objects, numbers)], summary, csv)
