# SPDX-License-Identifier: GPL-3.0-or-later
"""Builds the zeltfit Python module with CMake for pip (pyproject.toml).

The extension _zeltfit is the CMake target of python/, configured without the window and the
tests (ZELT_CORE_ONLY, BUILD_TESTING off) for the Python that runs this script; the package
takes the program's data folder (data/) as zeltfit/share, whose configuration template names
its database once the module knows where it lies (zeltfit.demo_ini). The version is the
project's, from the top CMakeLists.txt.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

ROOT = pathlib.Path(__file__).resolve().parent


def project_version():
    """The VERSION of project() in the top CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*\w+\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """The extension built by CMake in build-python/cmake (kept between builds)."""

    def build_extension(self, ext):
        build = ROOT / "build-python" / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DZELT_CORE_ONLY=ON", "-DBUILD_TESTING=OFF", "-DZELT_PYTHON=ON",
                        f"-DPython3_EXECUTABLE={sys.executable}"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "_zeltfit", "-j", jobs],
                       check=True)
        built = next((build / "python" / "zeltfit").glob("_zeltfit*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


class BuildWithData(build_py):
    """The package with the program's data folder as zeltfit/share."""

    def run(self):
        super().run()
        share = pathlib.Path(self.build_lib) / "zeltfit" / "share"
        shutil.rmtree(share, ignore_errors=True)
        shutil.copytree(ROOT / "data", share)


setup(
    version=project_version(),
    packages=["zeltfit"],
    package_dir={"zeltfit": "python/zeltfit"},
    package_data={"zeltfit": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension("zeltfit._zeltfit", sources=[])],
    cmdclass={"build_ext": CMakeBuild, "build_py": BuildWithData},
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
