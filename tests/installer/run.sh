#!/usr/bin/env bash
# The installer packages end to end. Builds them with scripts/package, and for
# each architecture a newer package to upgrade to; checks the zip and the x86
# package's tables against the x64 one's; then, for the x64 package under
# 64-bit Wine and for the x86 package under 32-bit Wine (scripts/wine-run32;
# ORVO_WIN32_WINE_INSTALLER=0 leaves that one out), with Wine's msiexec in fresh
# prefixes of that architecture:
#   - installing writes to the registry exactly what regsvr32 writes for the
#     same files in the same folder (the whole registry compared, the
#     installer's own bookkeeping aside);
#   - the VBScript and JScript suites pass against the installed component;
#   - a newer package replaces the installed one: its files, one registration,
#     one product; so does a rebuilt package of the installed version; an
#     older package is refused and changes nothing;
#   - removing leaves the registry and the files as they were before the
#     install; removing again changes nothing.
# Stops at the first failed check with a non-zero exit.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
work=$root/build/installer-test
rm -rf "$work"
mkdir -p "$work"

fail() { echo "FAIL: $*"; exit 1; }
# Lines only in $1 as "- line", lines only in $2 as "+ line".
changes() { { diff "$1" "$2" || true; } | sed -n 's/^< /- /p; s/^> /+ /p'; }
# The rows of one table of a package, without the three header lines.
table() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r' | LC_ALL=C sort; }
expect_same() { # NAME EXPECTED ACTUAL
  if ! diff -u "$2" "$3" >"$work/diff.txt"; then cat "$work/diff.txt"; fail "$1"; fi
}

echo "== building the packages"
mapfile -t built < <(bash scripts/package | grep -E '\.(msi|zip)$')
x64=${built[0]} x86=${built[1]} zip=${built[2]}
version=$(basename "$x64" -x64.msi)
version=${version#orvocrypto-}
IFS=. read -r major minor patch <<<"$version"
newer_version=$major.$minor.$((patch + 1))
declare -A package newer rebuilt
package[x64]=$x64 package[x86]=$x86
for arch in x64 x86; do
  newer[$arch]=$(bash scripts/package --version "$newer_version" --out "$work/newer" $arch | grep -E '\.msi$')
  # The same version again, as a rebuild makes it: a new product code.
  rebuilt[$arch]=$(bash scripts/package --version "$newer_version" --out "$work/rebuilt" $arch | grep -E '\.msi$')
done
for p in "$x64" "$x86" "${newer[x64]}" "${newer[x86]}"; do msiextract -C "$work/files/$(basename "$p")" "$p" >/dev/null; done
# msiextract puts Program Files of x86 packages under "Program Files", of x64 ones nowhere.
unpacked() { find "$work/files/$(basename "$1")" -type d -name OrvoCrypto; }

echo "== the zip"
python3 - "$zip" >"$work/zip.txt" <<'PY'
import sys, zipfile
for name in sorted(zipfile.ZipFile(sys.argv[1]).namelist()):
    if not name.endswith("/"): print(name)
PY
{ for f in README.md SECURITY.md x64/orvoblob.dll x64/orvocrypto.dll x86/orvoblob.dll x86/orvocrypto.dll \
           $(cd examples && ls *.vbs *.js *.asp | sed 's|^|examples/|'); do echo "orvocrypto-$version/$f"; done
} | LC_ALL=C sort >"$work/zip-expected.txt"
expect_same "the zip's files" "$work/zip-expected.txt" "$work/zip.txt"

echo "== the x86 package's tables, against the x64 package's"
[ "$(msiinfo suminfo "$x64" | grep '^Template:')" = "Template: x64;1033" ] || fail "x64 package template"
[ "$(msiinfo suminfo "$x86" | grep '^Template:')" = "Template: Intel;1033" ] || fail "x86 package template"
# The same registry entries (checked against regsvr32 below for x64) ...
table "$x64" Registry | cut -f2- >"$work/registry-x64.txt"
table "$x86" Registry | cut -f2- >"$work/registry-x86.txt"
[ "$(wc -l <"$work/registry-x64.txt")" -eq 54 ] || fail "the x64 package has $(wc -l <"$work/registry-x64.txt") registry rows, not 6 classes x 9"
expect_same "x86 registry entries" "$work/registry-x64.txt" "$work/registry-x86.txt"
# ... and the same upgrade rules, under an upgrade code of their own (below) ...
expect_same "x86 upgrade rules" <(table "$x64" Upgrade | cut -f2-) <(table "$x86" Upgrade | cut -f2-)
# ... for 32-bit components (no 64-bit attribute, 256) with GUIDs of their own,
# under Program Files (x86).
table "$x86" Component | cut -f1,4 >"$work/components-x86.txt"
printf 'Documents\t0\nOrvoBlob\t0\nOrvoCrypto\t0\n' >"$work/components-expected.txt"
expect_same "x86 components" "$work/components-expected.txt" "$work/components-x86.txt"
[ -z "$(comm -12 <(table "$x64" Component | cut -f2 | LC_ALL=C sort) <(table "$x86" Component | cut -f2 | LC_ALL=C sort))" ] || fail "component GUIDs shared by x64 and x86"
table "$x86" Directory | grep -q -x $'INSTALLDIR\tProgramFilesFolder\tOrvoCrypto' || fail "x86 install folder"
property() { table "$1" Property | sed -n "s/^$2\t//p"; }
[ "$(property "$x86" ProductVersion)" = "$version" ] && [ "$(property "$x86" ALLUSERS)" = 1 ] || fail "x86 version or scope"
[ "$(property "$x86" UpgradeCode)" != "$(property "$x64" UpgradeCode)" ] || fail "x64 and x86 share an upgrade code"
# The DLLs packed are the builds' own, 32-bit in the x86 package.
for dll in orvoblob/orvoblob.dll objects/orvocrypto.dll; do
  cmp -s "build/win32/$dll" "$(unpacked "$x86")/${dll#*/}" || fail "x86 package: ${dll#*/} is not build/win32's"
  cmp -s "build/win64/$dll" "$(unpacked "$x64")/${dll#*/}" || fail "x64 package: ${dll#*/} is not build/win64's"
  objdump -f "$(unpacked "$x86")/${dll#*/}" | grep -q 'file format pei-i386' || fail "x86 package: ${dll#*/} is not 32-bit"
done

# Wine from here on. state NAME: the registry (minus the keys Wine rewrites at
# every start) and the file list of drive C, once the wineserver has saved.
# orvo_wine and the other helpers of scripts/wine-env run 64-bit or 32-bit Wine
# as ORVO_WINE_ARCH says.
. scripts/wine-env
trap 'ORVO_WINE_ARCH=x86 orvo_wineserver -k >/dev/null 2>&1 || true; wineserver -k >/dev/null 2>&1 || true' EXIT
noise='^HKLM\\System\\|^HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards'
state() {
  orvo_wineserver -w
  python3 tests/installer/registry_state.py "$WINEPREFIX" | { grep -v -E "$noise" || true; } >"$work/$1.reg"
  (cd "$WINEPREFIX/drive_c" && find . | LC_ALL=C sort) >"$work/$1.files"
}
fresh_prefix() {
  export WINEPREFIX=$work/$1
  orvo_wine_prefix
}
run_msiexec() { orvo_wine msiexec "$1" "$(orvo_winepath "$2")" /qn; }
installed='C:\Program Files\OrvoCrypto'
installed_unix() { echo "$WINEPREFIX/drive_c/Program Files/OrvoCrypto"; }
# The installer's records of what it installed: not the component's registration.
bookkeeping='^. HKLM\\Software\\(Classes|Microsoft\\Windows\\CurrentVersion)\\Installer(\\|$)|^. HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\'
registration() { changes "$work/$1.reg" "$work/$2.reg" | { grep -v -E "$bookkeeping" || true; }; }

# warm_up: what Wine writes on a prefix's first programs, before a baseline, so
# that only the package's or regsvr32's doings differ from it. cscript
# registers type libraries of its own on its first runs, and 32-bit Wine
# writes the user's colours and theme metrics (HKCU\Control Panel\Colors,
# ...\ThemeManager) the first time a program loads user32.
warm_up() {
  printf 'WScript.Echo "ready"\r\n' >"$work/ready.vbs"
  printf 'WScript.Echo("ready");\r\n' >"$work/ready.js"
  for script in ready.vbs ready.js; do (cd "$work" && orvo_wine cscript //nologo "$script" >/dev/null); done
}

# wine_checks ARCH: the checks in fresh prefixes of ARCH's Wine, on ARCH's packages.
wine_checks() {
  local arch=$1 pkg=${package[$1]} hosts
  export ORVO_WINE_ARCH=$arch
  case $arch in x64) hosts=64-bit ;; x86) hosts=32-bit ;; esac
  echo "== $arch: regsvr32 of the packed DLLs in the install folder (reference prefix)"
  fresh_prefix prefix-$arch-regsvr32
  warm_up
  state reference-before
  mkdir -p "$(installed_unix)"
  cp "$(unpacked "$pkg")"/*.dll "$(installed_unix)/"
  for dll in orvoblob.dll orvocrypto.dll; do
    orvo_wine regsvr32 /s "$installed\\$dll" || fail "regsvr32 $dll"
  done
  state reference-after
  registration reference-before reference-after >"$work/regsvr32.changes"
  [ "$(grep -c -F "\\InprocServer32\\\\@=\"C:\\\\Program Files\\\\OrvoCrypto\\\\" "$work/regsvr32.changes")" -eq 6 ] \
    || fail "regsvr32 did not register the six classes: $(cat "$work/regsvr32.changes")"
  orvo_wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"

  echo "== $arch: msiexec /i $(basename "$pkg")"
  fresh_prefix prefix-$arch-msiexec
  warm_up
  state before
  run_msiexec /i "$pkg" || fail "msiexec /i exit status $?"
  state installed
  registration before installed >"$work/msiexec.changes"
  expect_same "the package's registry entries against regsvr32's" "$work/regsvr32.changes" "$work/msiexec.changes"
  echo "the registry after installing, compared with regsvr32 of the same files: the same $(wc -l <"$work/msiexec.changes") keys and values"
  sed 's/^/  /' "$work/msiexec.changes"
  for f in orvoblob.dll orvocrypto.dll README.md SECURITY.md; do
    cmp -s "$(unpacked "$pkg")/$f" "$(installed_unix)/$f" || fail "installed $f"
  done

  echo "== $arch: the script suites against the installed component"
  for suite in suite.vbs suite.js; do
    bash tests/scripts/run_script.sh "$root/tests/scripts/$suite" >"$work/$suite.log" 2>&1 \
      || { tail -n 20 "$work/$suite.log"; fail "$suite"; }
    echo "$suite: $(tail -n 1 "$work/$suite.log")"
  done

  # one_product STATE PACKAGE VERSION: PACKAGE's product, of VERSION, is the only
  # one of ours the installer lists.
  one_product() {
    local key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(property "$2" ProductCode)"
    local listed
    listed=$(grep -F '\\"DisplayName"="OrvoCrypto' "$work/$1.reg" | grep -F 'CurrentVersion\Uninstall\' || true)
    [ "$listed" = "$key\\\\\"DisplayName\"=\"OrvoCrypto ($hosts hosts)\"" ] || fail "$1: products listed: $listed"
    grep -q -x -F "$key\\\\\"DisplayVersion\"=\"$3\"" "$work/$1.reg" || fail "$1: the product listed is not $3"
  }

  echo "== $arch: msiexec /i $(basename "${newer[$arch]}") over $version"
  state used
  run_msiexec /i "${newer[$arch]}" || fail "upgrade: msiexec /i exit status $?"
  state upgraded
  for f in orvoblob.dll orvocrypto.dll; do
    cmp -s "$(unpacked "${newer[$arch]}")/$f" "$(installed_unix)/$f" || fail "upgrade: $f is not the newer one"
  done
  one_product upgraded "${newer[$arch]}" "$newer_version"
  # The registration, the same as regsvr32's, stays as it was.
  registration used upgraded >"$work/upgraded.changes"
  expect_same "registry entries after the upgrade" /dev/null "$work/upgraded.changes"
  echo "one product left, version $newer_version, its files and one registration"

  echo "== $arch: msiexec /i a rebuilt package of $newer_version over $newer_version"
  run_msiexec /i "${rebuilt[$arch]}" || fail "same version: msiexec /i exit status $?"
  state rebuilt
  one_product rebuilt "${rebuilt[$arch]}" "$newer_version"
  registration upgraded rebuilt >"$work/rebuilt.changes"
  expect_same "registry entries after the rebuilt package" /dev/null "$work/rebuilt.changes"
  echo "the rebuilt package replaced the installed one"

  echo "== $arch: msiexec /i $(basename "$pkg") over $newer_version (refused)"
  if run_msiexec /i "$pkg"; then fail "an older package installed over a newer one"; fi
  state refused
  [ -z "$(changes "$work/rebuilt.reg" "$work/refused.reg")$(changes "$work/rebuilt.files" "$work/refused.files")" ] \
    || fail "the refused install changed the prefix: $(changes "$work/rebuilt.reg" "$work/refused.reg")"

  echo "== $arch: msiexec /x"
  run_msiexec /x "${rebuilt[$arch]}" || fail "msiexec /x exit status $?"
  state removed
  # What may stay: the empty keys and the empty folder that hold the installer's
  # records on every Windows machine.
  containers='^\+ HKLM\\Software\\(Classes|Microsoft\\Windows\\CurrentVersion)\\Installer(\\UserData|\\UserData\\S-1-5-18)?(\\(Features|Products|UpgradeCodes|Components))?$'
  left=$({ changes "$work/before.reg" "$work/removed.reg" | grep -v -E "$containers" || true; }
         changes "$work/before.files" "$work/removed.files" | { grep -v -x -F '+ ./windows/Installer' || true; })
  [ -z "$left" ] || fail "removal left: $left"
  echo "removal left no key, value or file of the package"

  echo "== $arch: msiexec /x again"
  run_msiexec /x "${rebuilt[$arch]}" && status=0 || status=$?
  state removed-again
  [ -z "$(changes "$work/removed.reg" "$work/removed-again.reg")$(changes "$work/removed.files" "$work/removed-again.files")" ] \
    || fail "a second removal changed the prefix"
  echo "a second removal (exit status $status) changed nothing"

  orvo_wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  echo "== $arch: all checks passed"
}

# The x86 package's Wine checks run about 30 Wine programs under qemu-i386,
# each prefix made afresh; ORVO_WIN32_WINE_INSTALLER=0 leaves them out (its
# tables and files are checked above either way).
arches=(x64)
[ "${ORVO_WIN32_WINE_INSTALLER:-1}" = 0 ] || arches+=(x86)
for arch in "${arches[@]}"; do
  wine_checks $arch
done
echo "== installer packages: all checks passed"
