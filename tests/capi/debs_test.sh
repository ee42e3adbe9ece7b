#!/usr/bin/env bash
# The Debian packages on this machine: builds them (scripts/package-deb),
# installs them with apt-get, compiles the C example against the installed
# files with pkg-config and with find_package(orvocrypto), runs both and the
# installed tool, and purges the packages again (those that were installed
# before are left installed). Needs root or sudo.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. scripts/lib.sh

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
orvo_install pkg-config
bash scripts/package-deb >/dev/null

packages=(liborvocrypto1 liborvocrypto-dev orvocrypto-tools)
added=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || added+=("$p"); done
work=$(mktemp -d)
cleanup() {
  rm -rf "$work"
  if [ ${#added[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq "${added[@]}" >/dev/null || true
  fi
}
trap cleanup EXIT

echo "== debs: installing $(cd build/deb/debs && echo *.deb)"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq ./build/deb/debs/*.deb >/dev/null

version=$(sed -n 's/^project(orvocrypto VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(pkg-config --modversion orvocrypto)" = "$version" ] || { echo "pkg-config: version is not $version"; exit 1; }

# The installed tool on a published vector (RFC 1321 A.5).
[ "$(printf abc | /usr/bin/orvocrypto md5)" = 900150983cd24fb0d6963f7d28e17f72 ] || { echo "installed tool: md5 wrong"; exit 1; }
# The tool's manual page, and each package's copyright and changelog, in the
# packages (a machine may be set to leave documentation out when installing).
for p in "${packages[@]}"; do
  files=$(dpkg-deb -c build/deb/debs/"${p}"_*.deb)
  for f in copyright changelog.gz; do
    grep -q " \./usr/share/doc/$p/$f\$" <<<"$files" || { echo "$p: no /usr/share/doc/$p/$f"; exit 1; }
  done
done
dpkg-deb -c build/deb/debs/orvocrypto-tools_*.deb | grep -q ' \./usr/share/man/man1/orvocrypto\.1\.gz$' ||
  { echo "orvocrypto-tools: no manual page"; exit 1; }

# The example, built with pkg-config against /usr only.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror examples/c/orvo_example.c $(pkg-config --cflags --libs orvocrypto) -o "$work/example_pc"
linked=$(ldd "$work/example_pc")
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[[ $linked =~ liborvocrypto\.so\.1\ =\>\ (/usr)?/lib/$multiarch/liborvocrypto ]] ||
  { echo "example: not linked to the installed library in /usr/lib/$multiarch: $linked"; exit 1; }
[ -f "/usr/lib/$multiarch/pkgconfig/orvocrypto.pc" ] && [ -f "/usr/lib/$multiarch/cmake/orvocrypto/orvocryptoConfig.cmake" ] ||
  { echo "debs: orvocrypto.pc or the CMake package is not in /usr/lib/$multiarch"; exit 1; }
bash tests/capi/example_test.sh /usr/bin/orvocrypto "$work/example_pc"

# The example, built by a CMake project with find_package(orvocrypto).
cmake -S examples/c -B "$work/cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake" >/dev/null
bash tests/capi/example_test.sh /usr/bin/orvocrypto "$work/cmake/orvo_example"
echo "== debs: installed, used and removed"
