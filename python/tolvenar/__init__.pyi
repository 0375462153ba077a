# SPDX-License-Identifier: GPL-3.0-or-later
# The package's types for editors and type checkers; the docstrings are in __init__.py.
from typing import Any, Optional, Union

import numpy as np
import numpy.typing as npt

__version__: str
__all__: list[str]

_Count = Union[int, str]
_Number = Union[float, int, str]

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
    x: npt.NDArray[np.float64]  # the six vertices in data x; a family's unused ones copy its last
    y: npt.NDArray[np.float64]
    r: float
    sq_dist: float
    duration: float  # refined, "Simple ramp" alone
    symmetry_index: float  # refined, "Asymmetric event" alone

class Bootstrap(Record):
    replicates: int
    replicates_done: int
    level: float
    seed: int
    block_length: int
    x: npt.NDArray[np.float64]  # shape (6, 2): [lo, hi] of each vertex
    y: npt.NDArray[np.float64]
    duration: npt.NDArray[np.float64]  # [lo, hi], "Simple ramp" alone
    symmetry_index: npt.NDArray[np.float64]  # [lo, hi], "Asymmetric event" alone

class FitResult(Record):
    file: None
    version: str
    model: str
    from_: Optional[float]
    to: Optional[float]
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
    refined: Model  # with refine or bootstrap
    bootstrap: Bootstrap  # with bootstrap

def fit(
    x: npt.ArrayLike,
    y: npt.ArrayLike,
    model: str = "ramp",
    runs: _Count = 10,
    trials: _Count = 1000,
    lo: Optional[_Number] = None,
    hi: Optional[_Number] = None,
    constrain: bool = False,
    refine: bool = False,
    bootstrap: _Count = 0,
    level: _Number = 0.9,
    seed: _Count = 5489,
    sigma: Optional[npt.ArrayLike] = None,
    threads: _Count = 0,
) -> FitResult: ...

class CompareResult(FitResult):
    comparison: list[dict[str, Any]]  # one object a model, sorted by BIC
    chosen: str  # constant, line, ramp, symmetric, asymmetric, duration, free3 or free4
    event_test: Record  # p, replicates, null

def compare(
    x: npt.ArrayLike,
    y: npt.ArrayLike,
    runs: _Count = 10,
    trials: _Count = 1000,
    lo: Optional[_Number] = None,
    hi: Optional[_Number] = None,
    constrain: bool = False,
    refine: bool = False,
    bootstrap: _Count = 0,
    level: _Number = 0.9,
    test_replicates: _Count = 199,
    alpha: _Number = 0.05,
    seed: _Count = 5489,
    sigma: Optional[npt.ArrayLike] = None,
    threads: _Count = 0,
) -> CompareResult: ...

from .lags import LagResult as LagResult, combine_lags as combine_lags, lags as lags
