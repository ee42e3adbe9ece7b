# Shared by the project's scripts: package installation and build helpers.

# orvo_install PACKAGE...: installs the Debian packages that are missing.
orvo_install() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

ORVO_BUILD_PACKAGES=(cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev python3
                     g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix
                     binutils-mingw-w64-i686 wine wine64
                     clang libclang-rt-14-dev wixl msitools g++-multilib qemu-user-static ccache)
# The constant-time check (scripts/test ct): valgrind and its client-request header.
ORVO_BUILD_PACKAGES+=(valgrind)
# 32-bit Wine (scripts/wine-run32): an i386 Debian root file system.
ORVO_BUILD_PACKAGES+=(debootstrap)
# The Python package (scripts/test python): its build and its tests.
ORVO_BUILD_PACKAGES+=(python3-dev python3-venv python3-pip python3-setuptools python3-pybind11 python3-pytest
                      python3-cryptography python3-hypothesis mypy)

orvo_jobs() { nproc 2>/dev/null || echo 2; }

# Compiler cache: the stages compile many of the same files, and a machine that
# ran the tests before compiles only what changed. Paths are taken relative to
# the checkout, so another clone of the same sources hits the same entries.
# A launcher the caller set is kept.
orvo_use_ccache() {
  command -v ccache >/dev/null 2>&1 || return 0
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR-true}
}
