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
    """x and y of an example file's data rows, each run of marker rows ("Break", "---") a gap
    (NaN y) midway between the rows beside it, as the reader takes them."""
    x, y, marked = [], [], False
    with open(EXAMPLES / name, newline="") as file:
        for row in list(csv.reader(file))[1:]:
            if row[0] in ("Break", "break", "---") or row[1] == "---":
                marked = True
                continue
            if marked:
                x.append((x[-1] + float(row[0])) / 2)
                y.append(np.nan)
                marked = False
            x.append(float(row[0]))
            y.append(float(row[1]) if row[1] else np.nan)
    return np.array(x), np.array(y)


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
