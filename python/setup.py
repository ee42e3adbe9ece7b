"""Builds orvocrypto._core from the C++ core of this source tree (base/,
digest/, crypto/, rsa/ next to this folder) and the binding in src/, with
pybind11 and setuptools from the system: no network is needed.

    pip install --no-build-isolation ./python

ORVO_BUILD_JOBS sets the number of compile jobs (default: the CPU count).
"""
import os
import pathlib
import re
import sys
import sysconfig

import pybind11
from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
CORE = ("base", "digest", "crypto", "rsa")


def sources():
    binding = sorted(str(p.relative_to(HERE)) for p in (HERE / "src").glob("*.cpp"))
    # Each core folder: every portable file, and the POSIX or Windows file of a pair.
    other = "_posix.cpp" if sys.platform == "win32" else "_win.cpp"
    core = sorted(os.path.relpath(p, HERE) for folder in CORE for p in (ROOT / folder).glob("*.cpp") if not p.name.endswith(other))
    if not core:
        sys.exit(f"setup.py: no C++ core next to {HERE} (build from the orvocrypto source tree)")
    return binding + core


def version():
    # The one version number of the project, in its CMakeLists.txt.
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(orvocrypto VERSION ([0-9.]+)", text).group(1)


class BuildEveryTime(build_ext):
    """Compiles every file on every build. setuptools skips an extension
    whose sources are older than it, which misses a changed header of the core
    and a change of CFLAGS; with ccache a full build of unchanged files is quick."""

    def finalize_options(self):
        super().finalize_options()
        self.force = True


# Hardened as Debian builds its packages (and as the C library and the tool):
# stack protector, glibc's checked calls, read-only relocations bound at load.
# The core compiles without ORVO_TEST_HOOKS, so the module holds no test hook.
if sys.platform.startswith("linux"):
    HARDENING_COMPILE = ["-fstack-protector-strong", "-U_FORTIFY_SOURCE", "-D_FORTIFY_SOURCE=2"]
    HARDENING_LINK = ["-Wl,-z,relro", "-Wl,-z,now", "-Wl,-z,noexecstack"]
else:
    HARDENING_COMPILE, HARDENING_LINK = [], []

ParallelCompile("ORVO_BUILD_JOBS").install()
(ROOT / "build" / "python").mkdir(parents=True, exist_ok=True)  # setup.cfg puts the build there

setup(
    version=version(),
    ext_modules=[
        Pybind11Extension(
            "orvocrypto._core",
            sources(),
            include_dirs=[str(ROOT), str(HERE / "src")],
            cxx_std=17,
            # pybind11's and Python's headers as system headers: the warnings
            # the build asks for (CFLAGS) are for this project's code.
            extra_compile_args=["-O2", "-isystem", pybind11.get_include(), "-isystem", sysconfig.get_path("include")]
            + HARDENING_COMPILE,
            extra_link_args=HARDENING_LINK,
        )
    ],
    cmdclass={"build_ext": BuildEveryTime},
)
