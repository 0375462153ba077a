# SPDX-License-Identifier: GPL-3.0-or-later
# The package's types for editors and type checkers; the docstrings are in __init__.py.
from typing import Any, Optional, Union

import pandas as pd

import numpy as np
import numpy.typing as npt

__version__: str
__all__: list[str]

_Count = Union[int, str]
_Number = Union[float, int, str]
_Seed = Union[int, None, np.random.Generator]
_X = npt.NDArray[Any]  # float64, or datetime64[ns] for a dated series

class Record:
    def __init__(self, members: dict[str, Any]) -> None: ...
    def to_dict(self) -> dict[str, Any]: ...

class Crop(Record):
    start: int
    count: int
    min_y: float
    max_y: float
    origin: float  # only far from zero

class Model(Record):
    x: _X  # the six vertices in data x; a family's unused ones copy its last
    y: npt.NDArray[np.float64]
    r: float
    sq_dist: float
    duration: float  # refined, "Simple ramp" alone
    symmetry_index: float  # refined, "Asymmetric event" alone
    def vertices(self) -> tuple[_X, npt.NDArray[np.float64]]: ...
    def predict(self, x: npt.ArrayLike) -> Any: ...

class Bootstrap(Record):
    replicates: int
    replicates_done: int
    level: float
    seed: int
    block_length: int
    persistence: float  # tau of the replicates' AR(1) noise on uneven x (x units, days for dates), where drawn
    drifting: bool  # True where that noise outlasts the crop (the family may miss the data's shape)
    percentile: str  # "x2, x3": the intervals that are the replicates' percentiles, where any
    reach: str  # "x5 edge": the intervals cut at their possible range, where any
    x: _X  # shape (6, 2): [lo, hi] of each vertex
    y: npt.NDArray[np.float64]
    duration: npt.NDArray[np.float64]  # [lo, hi], "Simple ramp" alone
    symmetry_index: npt.NDArray[np.float64]  # [lo, hi], "Asymmetric event" alone

class FitResult(Record):
    file: None
    version: str
    model: str
    from_: Any  # float, or datetime64 for dates
    to: Any
    runs: Union[int, str]
    trials: Union[int, str]
    seed: int
    constrain: bool
    status: str
    points: int
    crop: Crop
    best: Model
    duration: Optional[float]
    symmetry_index: Optional[float]
    trials_made: int
    report: list[str]
    refined: Optional[Model]  # None with refine=False and no bootstrap
    bootstrap: Optional[Bootstrap]  # None without bootstrap
    @property
    def optimum(self) -> Model: ...
    @property
    def params(self) -> pd.DataFrame: ...
    def predict(self, x: npt.ArrayLike) -> Any: ...
    def plot(self, ax: Any = None, xlabel: str = "x", ylabel: str = "y") -> Any: ...

def fit(
    x: Any,
    y: npt.ArrayLike,
    model: str = "ramp",
    runs: _Count = 10,
    trials: _Count = 1000,
    lo: Any = None,
    hi: Any = None,
    constrain: bool = False,
    refine: bool = True,
    bootstrap: _Count = 0,
    level: _Number = 0.9,
    seed: _Seed = 5489,
    sigma: Optional[npt.ArrayLike] = None,
    threads: _Count = 0,
) -> FitResult: ...

class Candidate(Record):
    model: str
    k: int
    sq_dist: float
    phi: float
    log_likelihood: float
    aic: float
    aic_weight: float
    bic: float
    bic_weight: float
    chosen: bool

class CompareResult(FitResult):
    comparison: list[Candidate]  # one a model, sorted by BIC
    chosen: str  # constant, line, ramp, symmetric, asymmetric, duration, free3 or free4
    event_test: Optional[Record]  # p, replicates, null
    level: Optional[float]  # the constant chosen
    intercept: Optional[float]  # the line chosen
    slope: Optional[float]

def compare(
    x: Any,
    y: npt.ArrayLike,
    runs: _Count = 10,
    trials: _Count = 1000,
    lo: Any = None,
    hi: Any = None,
    constrain: bool = False,
    refine: bool = True,
    bootstrap: _Count = 0,
    level: _Number = 0.9,
    test_replicates: _Count = 199,
    alpha: _Number = 0.05,
    seed: _Seed = 5489,
    sigma: Optional[npt.ArrayLike] = None,
    threads: _Count = 0,
) -> CompareResult: ...

class EventResult(FitResult):
    event: int  # 1, 2, ... in x order
    scan: Record  # onset, end, level_before, level_after, amplitude; the scan's figures

class Events(list[EventResult]):
    scan: Record  # points, noise_sd, persistence, phi, penalty, block
    def to_dataframe(self) -> Any: ...  # pandas.DataFrame

def scan(
    x: npt.ArrayLike,
    y: npt.ArrayLike,
    model: str = "ramp",
    runs: _Count = 10,
    trials: _Count = 1000,
    lo: Optional[_Number] = None,
    hi: Optional[_Number] = None,
    bootstrap: _Count = 0,
    level: _Number = 0.9,
    seed: _Count = 5489,
    min_size: _Count = 1,
    penalty: Optional[_Number] = None,
    max_events: _Count = 0,
    sigma: Optional[npt.ArrayLike] = None,
    threads: _Count = 0,
) -> Events: ...

from .lags import LagResult as LagResult, combine_lags as combine_lags, lags as lags
