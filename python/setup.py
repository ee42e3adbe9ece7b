"""Builds orvocrypto._core with CMake from this source tree: the target
orvocrypto_python of python/CMakeLists.txt, the binding in src/ over the core
libraries (base/, digest/, crypto/, rsa/ next to this folder) with the
project's one list of sources and flags, hardening included. CMake, the
compiler and pybind11 come from the system: no network is needed.

    pip install --no-build-isolation ./python

The build honours what a setuptools build of an extension honours: CXX (and
CC), which may start with a compiler cache ("ccache g++"); CPPFLAGS, CFLAGS
and CXXFLAGS, all for the compiler, after the project's own flags; LDFLAGS,
with the project's own, for the module's link. ORVO_BUILD_JOBS sets the
number of compile jobs (default: the CPU count). Each interpreter, compiler
and set of flags has a CMake build folder of its own under
../build/python/cmake/, so a second build compiles only what changed.
"""
import hashlib
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
LAUNCHERS = ("ccache", "sccache", "distcc")
RELEASE_FLAGS = ["-O3", "-DNDEBUG"]


def version():
    # The one version number of the project, in its CMakeLists.txt.
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(orvocrypto VERSION ([0-9.]+)", text).group(1)


def compiler(variable):
    """The compiler an environment variable names, as CMake definitions: a
    leading compiler cache becomes the launcher, further words go to the flags."""
    words = shlex.split(os.environ.get(variable, ""))
    launcher = None
    if len(words) > 1 and os.path.basename(words[0]) in LAUNCHERS:
        launcher, words = words[0], words[1:]
    return (words[0] if words else None), launcher, words[1:]


def cmake_definitions():
    lang_flags = " ".join(os.environ.get(v, "") for v in ("CPPFLAGS", "CFLAGS", "CXXFLAGS")).split()
    link_flags = os.environ.get("LDFLAGS", "").split()
    definitions = {
        "CMAKE_BUILD_TYPE": "Release",
        "ORVO_PYTHON": "ON",
        "ORVO_BUILD_TESTS": "OFF",
        "ORVO_BUILD_BENCH": "OFF",
        "Python_EXECUTABLE": sys.executable,
        "pybind11_DIR": pybind11.get_cmake_dir(),
        "CMAKE_MODULE_LINKER_FLAGS": " ".join(link_flags),
    }
    for lang, variable in (("CXX", "CXX"), ("C", "CC")):
        path, launcher, extra = compiler(variable)
        if path is not None:
            definitions[f"CMAKE_{lang}_COMPILER"] = path
        if launcher is not None:
            definitions[f"CMAKE_{lang}_COMPILER_LAUNCHER"] = launcher
        definitions[f"CMAKE_{lang}_FLAGS"] = " ".join(extra)
        # The release preset's optimisation (CMake's Release flags), then the
        # environment's flags, which come later on the command line and so win
        # (an -O1 for a sanitizer build).
        definitions[f"CMAKE_{lang}_FLAGS_RELEASE"] = " ".join(RELEASE_FLAGS + lang_flags)
    return definitions


class CMakeBuild(build_ext):
    """Configures the source tree with CMake and builds the module's target."""

    def build_extension(self, ext):
        if not (ROOT / "base").is_dir() or not (HERE / "CMakeLists.txt").is_file():
            sys.exit(f"setup.py: no C++ core next to {HERE} (build from the orvocrypto source tree)")
        cmake = shutil.which("cmake")
        if cmake is None:
            sys.exit("setup.py: the build needs CMake 3.20 or later (Debian: apt-get install cmake)")
        definitions = cmake_definitions()
        key = hashlib.sha256(repr(sorted(definitions.items())).encode()).hexdigest()[:12]
        build = ROOT / "build" / "python" / "cmake" / key
        # The environment's flags are in the definitions; CMake would add them again on a first run.
        env = {k: v for k, v in os.environ.items() if k not in ("CPPFLAGS", "CFLAGS", "CXXFLAGS", "LDFLAGS")}
        configure = [cmake, "-S", str(ROOT), "-B", str(build)] + [f"-D{k}={v}" for k, v in definitions.items()]
        subprocess.run(configure, check=True, env=env)
        jobs = os.environ.get("ORVO_BUILD_JOBS") or str(os.cpu_count() or 1)
        subprocess.run([cmake, "--build", str(build), "--target", "orvocrypto_python", "-j", jobs], check=True, env=env)
        built = build / "python" / ("_core" + sysconfig.get_config_var("EXT_SUFFIX"))
        if not built.is_file():
            sys.exit(f"setup.py: CMake built no {built}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


(ROOT / "build" / "python").mkdir(parents=True, exist_ok=True)  # setup.cfg puts the build there

setup(
    version=version(),
    ext_modules=[Extension("orvocrypto._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
