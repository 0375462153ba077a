# SPDX-License-Identifier: GPL-3.0-or-later
# The lags' types for editors and type checkers; the docstrings are in lags.py.
from typing import Any, Iterable, Mapping, Optional, Union

import numpy.typing as npt

from . import FitResult, Record

class LagResult(Record):
    series: dict[str, FitResult]
    lags: list[dict[str, Any]]

def lags(
    x: npt.ArrayLike,
    series: Mapping[str, npt.ArrayLike],
    to: Optional[str] = None,
    model: str = "ramp",
    runs: Union[int, str] = 10,
    trials: Union[int, str] = 1000,
    lo: Optional[float] = None,
    hi: Optional[float] = None,
    constrain: bool = False,
    bootstrap: int = 200,
    level: float = 0.9,
    seed: int = 5489,
    threads: int = 0,
) -> LagResult: ...
def combine_lags(
    results: Iterable[Union[LagResult, Mapping[str, Any]]], level: float = 0.9
) -> list[dict[str, Any]]: ...
