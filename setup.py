# SPDX-License-Identifier: GPL-3.0-or-later
"""The extension _tolvenar built by the project's CMake: the core and the module alone (no window,
no programs, no tests, no man pages). Everything pip's build writes goes below build-wheel/ (or
TOLVENAR_BUILD_DIR), where a second pip install goes on from the first. CMAKE_ARGS adds configure
options; CMake's own environment (CMAKE_BUILD_PARALLEL_LEVEL, CMAKE_CXX_COMPILER_LAUNCHER)
applies."""

import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def version():
    """The one version of the project, CMakeLists.txt's project(... VERSION ...)."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\([^)]*\bVERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        cmake = shutil.which("cmake")
        if cmake is None:
            raise RuntimeError("building tolvenar needs CMake 3.25 or later (Debian: cmake)")
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [cmake, "-S", str(ROOT), "-B", str(build), "-DTOLVENAR_BUILD_UI=OFF",
                     "-DTOLVENAR_BUILD_TESTS=OFF", "-DTOLVENAR_BUILD_MAN=OFF",
                     "-DTOLVENAR_BUILD_PROGRAMS=OFF", f"-DPython3_EXECUTABLE={sys.executable}",
                     *shlex.split(os.environ.get("CMAKE_ARGS", ""))]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run([cmake, "--build", str(build), "--target", "_tolvenar"], check=True)
        built = build / "python" / self.get_ext_filename(ext.name)
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


BUILD = pathlib.Path(os.environ.get("TOLVENAR_BUILD_DIR", ROOT / "build-wheel")).resolve()
BUILD.mkdir(parents=True, exist_ok=True)
setup(version=version(),
      ext_modules=[Extension("tolvenar._tolvenar", sources=[])],
      cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": str(BUILD)}, "egg_info": {"egg_base": str(BUILD)}})
