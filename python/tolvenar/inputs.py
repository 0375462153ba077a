# SPDX-License-Identifier: GPL-3.0-or-later
"""Series as Python users hold them, as the core reads them.

y and sigma become float64 columns with every missing value NaN, a gap: masked values of numpy's
masked arrays, pandas' NA of its nullable arrays; float32 is widened first. x may be numbers or
datetimes (a DatetimeIndex, datetime64 values, Timestamps or datetime objects): datetimes go to
the core as ISO texts, which it reads as a data file's dates are read, as days from the first
row, so that a fit of dates equals tolvenar-fit's on the same dates in a file.
"""

import numpy as np

# The coarsest ISO unit that writes every instant exactly, by nanoseconds a unit holds.
_UNITS = [("D", 86400 * 10**9), ("m", 60 * 10**9), ("s", 10**9), ("ms", 10**6), ("us", 10**3),
          ("ns", 1)]


def column(values, name):
    """``values`` as a one-dimensional float64 array, every missing value NaN."""
    if isinstance(values, np.ma.MaskedArray):
        values = values.astype(np.float64).filled(np.nan)
    elif hasattr(values, "to_numpy"):  # pandas' Series, Index and arrays, an xarray DataArray
        try:
            values = values.to_numpy(dtype=np.float64, na_value=np.nan)
        except TypeError:
            values = values.to_numpy()
    try:
        array = np.ascontiguousarray(values, dtype=np.float64)
    except (TypeError, ValueError):
        raise ValueError(f"{name} must hold numbers, not {_kind(values)}") from None
    if array.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, not of shape {array.shape}")
    return array


def _kind(values):
    return type(values).__name__ if np.ndim(values) == 0 else f"{np.asarray(values).dtype} values"


def _zone(values):
    """The zone of pandas' zoned datetimes (a Series' or an Index's); None otherwise."""
    accessor = getattr(values, "dt", None)
    return getattr(accessor if accessor is not None else values, "tz", None)


def datetimes(values):
    """``values`` as datetime64[ns] when they are datetimes (zoned ones in UTC); None otherwise."""
    if _zone(values) is not None:
        values = values.dt.tz_convert(None) if hasattr(values, "dt") else values.tz_convert(None)
    array = np.asarray(values.to_numpy() if hasattr(values, "to_numpy") else values)
    if array.dtype == object and array.size and all(
            hasattr(item, "isoformat") or item is None for item in array.ravel()):
        array = array.astype("datetime64[ns]")
    if not np.issubdtype(array.dtype, np.datetime64):
        return None
    return array.astype("datetime64[ns]")


def iso_texts(instants, zoned=False):
    """datetime64 values as ISO texts in the coarsest unit that writes them all exactly (dates
    alone when every one is a midnight), zoned ones in UTC with a Z; NaT as "NaN", the missing
    x."""
    nanoseconds = instants.astype(np.int64)[~np.isnat(instants)]
    units = _UNITS[1:] if zoned else _UNITS  # a zone needs a time of day
    unit = next(unit for unit, size in units if not np.any(nanoseconds % size))
    texts = np.datetime_as_string(instants, unit=unit)
    return ["NaN" if text == "NaT" else str(text) + ("Z" if zoned else "") for text in texts]


def _unequal_to_itself(value):
    """NaN and NaT, numpy's and pandas' alike."""
    try:
        return bool(value != value)
    except (TypeError, ValueError):  # an array: refused as no number or date after
        return False


class XAxis:
    """How a series' x go to the core and come back: numbers as they are, or datetimes as ISO
    texts, whose results (days from the first) come back as datetime64 from ``origin``."""

    def __init__(self, x):
        self.origin = None
        self.zoned = _zone(x) is not None
        instants = datetimes(x)
        if instants is None:
            self.values = column(x, "x")
            return
        if instants.ndim != 1:
            raise ValueError(f"x must be one-dimensional, not of shape {instants.shape}")
        known = instants[~np.isnat(instants)]
        self.origin = known[0] if known.size else None
        self.values = iso_texts(instants, self.zoned)
        self.data = instants

    @property
    def dated(self):
        return self.origin is not None

    def edge(self, name, value):
        """A crop edge as the core takes it: a number, or for dates an ISO text, which the core
        reads as it reads --from of a file."""
        if value is None:
            return None
        if _unequal_to_itself(value):  # NaN or NaT is no edge: None takes the data's own
            kind = "date" if self.dated else "number"
            raise ValueError(f"{name} must be a {kind}, not {value!r}")
        if self.dated:
            instants = None if isinstance(value, str) else datetimes(np.atleast_1d(value))
            return str(value) if instants is None else iso_texts(instants, self.zoned)[0]
        try:
            return float(value)
        except (TypeError, ValueError):
            raise ValueError(f"{name} must be a number, not {value!r}") from None

    def to_data(self, days):
        """Days from the first row (an array of any shape, NaN kept) as the data's x."""
        days = np.asarray(days, dtype=np.float64)
        if not self.dated:
            return days
        nanoseconds = np.round(days * 86400e9)
        instants = self.origin + np.where(np.isnan(nanoseconds), 0, nanoseconds).astype(
            "timedelta64[ns]")
        return np.where(np.isnan(days), np.datetime64("NaT"), instants)[()]

    def to_days(self, x):
        """The data's x (numbers, or datetimes for a dated series) as the model's x."""
        instants = datetimes(np.atleast_1d(x)) if self.dated else None
        if instants is None:
            return column(np.atleast_1d(x), "x")
        return (instants - self.origin) / np.timedelta64(1, "D")
