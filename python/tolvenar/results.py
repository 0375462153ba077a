# SPDX-License-Identifier: GPL-3.0-or-later
"""The results of fits as Python objects: the record's JSON object with its members as
attributes, and what a user does with a fit (its vertices shown, ``predict``, ``plot``,
``params``). Other analyses build their results from these classes."""

import copy
import html
import keyword

import numpy as np

from .inputs import XAxis

# Members that hold x (days from the first row for dates): they come back in the data's x.
_X_MEMBERS = {"x", "from", "to", "onset", "end"}


def _name(key):
    return key + "_" if keyword.iskeyword(key) else key


def _numeric(item):
    if isinstance(item, list):
        return all(_numeric(inner) for inner in item)
    return item is None or (isinstance(item, (int, float)) and not isinstance(item, bool))


class Record:
    """A JSON object of the result with its members as attributes.

    Lists of numbers are numpy arrays of float64 (null as NaN), x of a dated series datetime64;
    objects are Records, and a member named by a Python keyword takes a trailing underscore
    (``from_``). ``to_dict()`` gives the object as Python's json module reads tolvenar-fit's line.
    """

    _members_as = {}  # member name -> Record class of that member
    _renamed = {}     # member name -> attribute name, where the JSON's name differs

    def __init__(self, members, numbers=None, axis=None):
        """``members`` as the JSON holds them; ``numbers`` the same with every x a number (days
        from the first row for dates), which ``axis`` turns into the data's x."""
        self._members = members
        self._axis = axis or XAxis(np.empty(0))
        for key, value in (members if numbers is None else numbers).items():
            name = self._renamed.get(key, _name(key))
            setattr(self, name, self._attribute(key, value))

    def _attribute(self, key, value):
        if isinstance(value, dict):
            return self._members_as.get(key, Record)(value, value, self._axis)
        if isinstance(value, list) and value and all(isinstance(item, dict) for item in value):
            kind = self._members_as.get(key, Record)
            return [kind(item, item, self._axis) for item in value]
        if key in _X_MEMBERS and self._axis.dated and value is not None:
            return self._axis.to_data(np.array(value, dtype=np.float64))
        if isinstance(value, list) and value and _numeric(value):
            return np.array(value, dtype=np.float64)  # None as NaN
        return value

    def to_dict(self):
        """The object as dicts, lists, str, int and float, numbers equal to the JSON's."""
        return copy.deepcopy(self._members)

    def __repr__(self):
        shown = ", ".join(f"{self._renamed.get(key, _name(key))}={value!r}"
                          for key, value in self._members.items()
                          if not isinstance(value, (dict, list)))
        return f"{type(self).__name__}({shown})"


class Crop(Record):
    """The crop: ``start`` (its first row), ``count``, ``min_y``, ``max_y``; ``origin`` far from
    zero, where the model x are measured from it."""


class Model(Record):
    """A model: ``x`` and ``y`` of its vertices (numpy arrays, x in data x; a family's unused
    vertices copy its last), ``r``, ``sq_dist``; refined, the family's measure too."""

    def vertices(self):
        """x and y of the vertices the model has, the copies of its last left out."""
        x, y = np.asarray(self.x), np.asarray(self.y)
        count = len(x)
        while count > 2 and x[count - 1] == x[count - 2] and y[count - 1] == y[count - 2]:
            count -= 1
        return x[:count], y[:count]

    def predict(self, x):
        """The model's polyline at ``x`` (numbers, or datetimes for a dated series); NaN
        outside the crop."""
        vx, vy = self.vertices()
        days = self._axis.to_days(x)
        at = np.interp(days, self._axis.to_days(vx), vy, left=np.nan, right=np.nan)
        return at if np.ndim(x) else at[0]


class Bootstrap(Record):
    """The refined fit's intervals: ``replicates``, ``replicates_done``, ``level``, ``seed``,
    ``block_length``, ``persistence`` (of the replicates' AR(1) noise on uneven x, in x units,
    days for dates), ``drifting`` (True where that noise outlasts the crop: the family may miss
    the data's shape), ``x`` and ``y`` (arrays of [lo, hi] rows), the family's measure [lo, hi],
    ``percentile`` (the intervals read off the replicates' percentiles, "x2, x3"; the others
    are symmetric studentized), ``profile`` (the break points' intervals widened to span their
    calibrated profile intervals, "x2, x3") and ``reach`` (those cut at their possible range)
    where any."""


class Candidate(Record):
    """One model of a comparison: ``model``, ``k``, ``sq_dist``, ``phi``, ``log_likelihood``,
    ``aic``, ``bic`` and their weights, ``chosen``."""

    _renamed = {"sum_of_squares": "sq_dist"}


def _number(value):
    if isinstance(value, np.datetime64):
        return str(np.datetime_as_string(value, unit="m"))
    return f"{value:.6g}"


class FitResult(Record):
    """One series fitted as tolvenar-fit fits a file; its members are those of --json.

    Provenance: ``file`` (None for arrays), ``version``, ``model``, ``from_`` and ``to`` (the
    crop's edges), ``runs``, ``trials``, ``seed``, ``constrain``, ``status`` ("fitted").
    The fit: ``points`` (in the crop), ``crop``, ``best`` (the search's best model),
    ``refined`` (the family's least-squares optimum near it; None with refine=False),
    ``bootstrap`` (its intervals; None without), ``duration`` and ``symmetry_index`` (None where
    the family has none), ``trials_made``, ``report`` (the report's lines). ``optimum`` is
    ``refined`` where there is one and ``best`` otherwise; ``predict``, ``plot`` and ``params``
    use it.
    """

    _members_as = {"crop": Crop, "best": Model, "refined": Model, "bootstrap": Bootstrap}
    refined = None
    bootstrap = None
    best = None

    def __init__(self, members, numbers=None, axis=None, data=None, band=None):
        super().__init__(members, numbers, axis)
        self._data = data
        self._band = band

    @property
    def optimum(self):
        """The model the result stands for: the refined one, or the search's best without."""
        return self.refined if self.refined is not None else self.best

    def predict(self, x):
        """The optimum's polyline at ``x``; NaN outside the crop."""
        return self.optimum.predict(x)

    def _shown(self):
        """The model's caption and the optimum's inner vertices, the break points, for reprs."""
        x, y = self.optimum.vertices()
        inner = slice(1, -1) if len(x) > 2 else slice(None)
        points = [(_number(a), _number(b)) for a, b in zip(x[inner], y[inner])]
        which = "refined" if self.refined is not None else "search"
        return self.model, points, self.optimum.r, which

    def __repr__(self):
        model, points, r, which = self._shown()
        breaks = ", ".join(f"({a}, {b})" for a, b in points)
        return f"{type(self).__name__}({model!r}, breaks=[{breaks}], r={r:.6g}, {which})"

    def _repr_html_(self):
        model, points, r, which = self._shown()
        rows = "".join(f"<tr><td>{i}</td><td>{a}</td><td>{b}</td></tr>"
                       for i, (a, b) in enumerate(points, start=2))
        return (f"<b>{html.escape(str(model))}</b> ({which}), R = {r:.6g}"
                f"<table><tr><th>vertex</th><th>x</th><th>y</th></tr>{rows}</table>")

    @property
    def params(self):
        """The optimum's vertices as a pandas DataFrame: vertex, x, y, and with a bootstrap
        their intervals (x_lo, x_hi, y_lo, y_hi)."""
        import pandas as pd

        x, y = self.optimum.vertices()
        table = {"vertex": np.arange(1, len(x) + 1), "x": x, "y": y}
        if self.bootstrap is not None:
            for name in ("x", "y"):
                bounds = np.asarray(getattr(self.bootstrap, name))[:len(x)]
                table[f"{name}_lo"], table[f"{name}_hi"] = bounds[:, 0], bounds[:, 1]
        return pd.DataFrame(table).set_index("vertex")

    def plot(self, ax=None, xlabel="x", ylabel="y"):
        """Draw the data, the optimum, its interval band and the vertices' interval bars with
        matplotlib on ``ax`` (a new figure's Axes by default); returns the Axes."""
        if ax is None:
            import matplotlib.pyplot as plt
            ax = plt.figure().add_subplot()
        if self._data is not None:
            ax.plot(*self._data, ".", color="0.6", markersize=3, label="data")
        x, y = self.optimum.vertices()
        ax.plot(x, y, "-", color="C0", linewidth=1.6, label=f"{self.model}")
        if self._band is not None:
            ax.fill_between(self._axis.to_data(self._band["x"]), self._band["lo"],
                            self._band["hi"], color="C0", alpha=0.2, linewidth=0,
                            label=f"{self.bootstrap.level:.0%} band")
        if self.bootstrap is not None:
            bx = np.asarray(self.bootstrap.x)[:len(x)]
            by = np.asarray(self.bootstrap.y)[:len(x)]
            ax.errorbar(x, y, xerr=_spread(x, bx), yerr=_spread(y, by), fmt="none",
                        ecolor="C3", elinewidth=1, capsize=3)
        ax.set_xlabel(xlabel)
        ax.set_ylabel(ylabel)
        ax.legend(loc="best")
        return ax


def _spread(centre, bounds):
    """[lo, hi] rows as errorbar's distances below and above ``centre``."""
    if np.issubdtype(np.asarray(centre).dtype, np.datetime64):
        return None  # matplotlib draws no bars of timedeltas; the band shows the spread
    return np.abs(np.stack([centre - bounds[:, 0], bounds[:, 1] - centre]))


class CompareResult(FitResult):
    """The families compared on the crop, then the chosen one fitted; the members of
    ``tolvenar-fit --compare --json``.

    ``comparison`` lists one Candidate a model, sorted by BIC. ``chosen`` names the model chosen:
    the lowest BIC, unless the event test's ``p`` (``event_test``: ``p``, ``replicates``,
    ``null``) is at ``alpha`` or above, when the better model without an event is chosen. With
    an event chosen, the members of ``fit`` for that family follow (``model`` its caption,
    ``best``, ``refined``, ...); with the constant, ``level``, with the line ``intercept`` (at
    x = 0, the first date for dates) and ``slope`` (per day for dates), and ``optimum`` their
    line over the crop.
    """

    _members_as = {**FitResult._members_as, "comparison": Candidate, "event_test": Record}
    event_test = None
    level = None
    intercept = None
    slope = None

    def __init__(self, members, numbers=None, axis=None, data=None, band=None, line=None):
        super().__init__(members, numbers, axis, data, band)
        self._line = None
        if line is None:
            return
        numbers = numbers or members
        x = np.array([numbers["from"], numbers["to"]], dtype=np.float64)
        y = line["level"] + line["slope"] * (x - line["x0"])
        if line["name"] == "constant":
            self.level = line["level"]
        else:
            self.intercept = line["level"] - line["slope"] * line["x0"]
            self.slope = line["slope"]
        self.model = line["name"]
        self._line = Model({"x": list(x), "y": list(y)}, None, self._axis)
        self._line.r = np.nan

    @property
    def optimum(self):
        return self._line if self._line is not None else super().optimum

    def _shown(self):
        if self._line is None:
            return super()._shown()
        return self.model, [], np.nan, "optimum"

    def __repr__(self):
        if self._line is None:
            return super().__repr__()
        p = self.event_test.p if self.event_test is not None else None
        shown = (f"level={self.level:.6g}" if self.level is not None
                 else f"intercept={self.intercept:.6g}, slope={self.slope:.6g}")
        return f"{type(self).__name__}({self.chosen!r}, {shown}, p={p})"

    @property
    def params(self):
        if self._line is None:
            return super().params
        import pandas as pd

        names = ("level",) if self.level is not None else ("intercept", "slope")
        return pd.DataFrame({"value": [getattr(self, name) for name in names]},
                            index=pd.Index(names, name="parameter"))
