"""Builds the Python package with the project's CMake build, for pip.

The package, its type stubs and libocamera come from `cmake --install` of the
components "python" and "runtime" into a staging prefix; the module finds the
library through its run path ($ORIGIN up to the prefix's library directory),
so the library goes to the same place under the environment's prefix.

OCAMERA_BUILD_DIR names a CMake build directory to use (an existing one is
reused as it is configured, so that only what is missing gets built);
without it the build goes to build/pip/cmake.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = pathlib.Path(__file__).resolve().parent
BUILD = pathlib.Path(os.environ.get("OCAMERA_BUILD_DIR") or ROOT / "build" / "pip" / "cmake")
STAGING = BUILD / "pip-staging"


def version():
    """The project's version, as CMake names it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(ocamera VERSION ([0-9.]+)", text).group(1)


def run(*command):
    print(" ".join(map(str, command)), flush=True)
    subprocess.run(list(map(str, command)), check=True)


def cmake_build():
    """Configures (once), builds the package's targets and stages them."""
    if not (BUILD / "CMakeCache.txt").exists():
        run("cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
            "-DOCAMERA_BUILD_TESTS=OFF", "-DOCAMERA_BUILD_BENCH=OFF",
            "-DOCAMERA_BUILD_GST=OFF", f"-DPython3_EXECUTABLE={sys.executable}")
    run("cmake", "--build", BUILD, "-j", os.cpu_count() or 1, "--target", "ocamera",
        "ocamera_python", "ocamera_python_stubs")
    shutil.rmtree(STAGING, ignore_errors=True)
    for component in ("runtime", "python"):
        run("cmake", "--install", BUILD, "--prefix", STAGING, "--component", component)
    package = next(STAGING.glob("lib/python3*/*-packages/ocamera"))
    module = next(package.glob("_ocamera*.so"))
    if not module.name.endswith(sysconfig.get_config_var("EXT_SUFFIX")):
        sys.exit(f"{BUILD} builds {module.name} for another Python than {sys.executable}")
    library = next(STAGING.rglob("libocamera.so.*[0-9]"))
    return package, library


class BuildWithCMake(build_py):
    """Puts the staged package into the wheel, and the library beside it as
    data under the prefix's library directory."""

    def run(self):
        package, library = cmake_build()
        target = pathlib.Path(self.build_lib) / "ocamera"
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(package, target, ignore=shutil.ignore_patterns("__pycache__"))
        soname = re.match(r"libocamera\.so\.\d+", library.name).group(0)
        named = BUILD / "pip-build" / soname
        named.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(next(STAGING.rglob(soname)), named)
        libdir = str(library.parent.relative_to(STAGING))
        self.distribution.data_files = [(libdir, [str(named)])]


class BinaryDistribution(Distribution):
    """The package holds a compiled module: a wheel for this platform only."""

    def has_ext_modules(self):
        return True


setup(
    distclass=BinaryDistribution,
    version=version(),
    packages=["ocamera"],
    package_dir={"ocamera": "python/ocamera"},
    cmdclass={"build_py": BuildWithCMake},
    options={"build": {"build_base": str(BUILD / "pip-build")},
             "egg_info": {"egg_base": str(BUILD)}},
    zip_safe=False,
)
