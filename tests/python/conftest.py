# SPDX-License-Identifier: GPL-3.0-or-later
# The Python module against the built tolvenar-fit (TOLVENAR_FIT), on the examples' rows.
import csv
import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def example_rows(name):
    """x and y of an example file's data rows; marker rows ("Break", "---") left out, as the
    reader drops them."""
    with open(EXAMPLES / name, newline="") as file:
        rows = [row for row in list(csv.reader(file))[1:]
                if row[0] not in ("Break", "break", "---")]
    return (np.array([float(row[0]) for row in rows]),
            np.array([float(row[1]) if row[1] else np.nan for row in rows]))


def write_rows(path, x, y, sigma=None):
    """The rows as a comma file under a title row (x,y or x,y,sigma); repr writes every double
    exactly."""
    columns = [x, y] if sigma is None else [x, y, sigma]
    text = "".join(",".join(repr(v) for v in row) + "\n" for row in zip(*columns))
    path.write_text(("x,y\n" if sigma is None else "x,y,sigma\n") + text.replace("nan", "NaN"))
    return path


@pytest.fixture
def tolvenar_fit():
    """tolvenar-fit ARGS...: the finished process, its standard output and error as text."""
    program = os.environ["TOLVENAR_FIT"]

    def run(*args):
        return subprocess.run([program, *map(str, args)], capture_output=True, text=True,
                              timeout=600)
    return run


@pytest.fixture
def fit_json(tolvenar_fit):
    """tolvenar-fit --json ARGS... read by Python's json module, one object per file."""
    def run(*args):
        return [json.loads(line) for line in tolvenar_fit("--json", *args).stdout.splitlines()]
    return run
