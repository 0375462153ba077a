# SPDX-License-Identifier: GPL-3.0-or-later
# pip install . from the source tree into a fresh virtual environment, offline, with Debian's
# build tools; the package then imports from there, with its metadata.
import os
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_pip_installs_the_package_offline_into_a_virtual_environment(tmp_path):
    venv = tmp_path / "venv"
    if subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", venv],
                      capture_output=True).returncode:
        pytest.skip("no venv module (Debian: python3-venv)")
    python = str(venv / "bin" / "python")
    if subprocess.run([python, "-m", "pip", "--version"], capture_output=True).returncode:
        pytest.skip("no pip (Debian: python3-pip)")
    # The suite keeps pip's CMake build between runs (TOLVENAR_PIP_BUILD), so that only the
    # first run compiles the core; the build tree's package must not hide the installed one.
    env = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    env["TOLVENAR_BUILD_DIR"] = os.environ.get("TOLVENAR_PIP_BUILD", str(tmp_path / "build"))
    env.setdefault("CMAKE_ARGS", "-DCMAKE_BUILD_TYPE=Debug")  # the packaging, not its speed: quicker
    done = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                           str(ROOT)], env=env, capture_output=True, text=True, timeout=3000)
    assert done.returncode == 0, done.stdout[-3000:] + done.stderr[-3000:]
    probe = ("import importlib.metadata as m, tolvenar, numpy as np\n"
             "print(m.version('tolvenar'), tolvenar.__version__, m.requires('tolvenar')[0])\n"
             "print(tolvenar.__file__)\n"
             "x = np.arange(20.0)\n"
             "print(tolvenar.fit(x, np.clip(x - 8, 0, 4), runs=1, trials=100).status)\n")
    shown = subprocess.run([python, "-c", probe], env=env, cwd=tmp_path, capture_output=True,
                           text=True, check=True).stdout.split()
    version = re.search(r"project\([^)]*VERSION\s+([0-9.]+)", (ROOT / "CMakeLists.txt")
                        .read_text()).group(1)
    assert shown[:3] == [version, version, "numpy"]
    assert pathlib.Path(shown[3]).is_relative_to(venv) and shown[4] == "fitted"
