#!/usr/bin/env bash
# Checks what ./rack package wrote, as a user meets it: the checksums match; each archive,
# unpacked into a fresh folder, passes the release checks of its own platform (the Windows one
# under Wine, loading the DLLs from the unpacked folder); the Linux install from source gives the
# same bundle folders as the archive. The .deb is installed, upgraded and removed with dpkg in a
# scratch root; the setup program is run silently in a fresh Wine prefix over an older version,
# and its uninstaller.
# Both installers must put exactly the archive's bundles where hosts look for them.
#
#   scripts/check-release.sh [DIST]   (default: dist in the checkout)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DIST=$(cd "${1:-$ROOT/dist}" && pwd)
LINUX_BUILD=$ROOT/build
WINDOWS_BUILD=${KESTRAVEL_WINDOWS_BUILD_DIR:-$ROOT/build-windows}

fail() { echo "check-release: $*" >&2; exit 1; }

scratch=$(mktemp -d)
cleanup() {
  local rc=$?
  if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null; then
    wineserver -k 2>/dev/null || true
  fi
  rm -rf "$scratch"
  exit $rc
}
trap cleanup EXIT

echo "--- checksums"
[ -f "$DIST/SHA256SUMS" ] || fail "$DIST has no SHA256SUMS"
listed=$(awk '{print $2}' "$DIST/SHA256SUMS" | sed 's/^\*//' | LC_ALL=C sort | tr '\n' ' ')
v='[0-9]+\.[0-9]+\.[0-9]+'
pattern="^kestravel-rack-$v(-dirty)?-linux-x86_64\.tar\.gz kestravel-rack-$v(-dirty)?-windows-x86_64-setup\.exe "
pattern+="kestravel-rack-$v(-dirty)?-windows-x86_64\.zip kestravel-rack_$v(~dirty)?_amd64\.deb \$"
[[ "$listed" =~ $pattern ]] ||
  fail "SHA256SUMS lists '$listed', not the Linux and Windows archives, the setup program and the .deb"
(cd "$DIST" && sha256sum --check --strict --quiet SHA256SUMS) || fail "a file does not match SHA256SUMS"
read -r linux_archive setup_program windows_archive deb <<<"$listed"
echo "  $linux_archive, $windows_archive, $setup_program, $deb: match"
# The release checks of one platform on the bundles in a folder; an installed folder holds no
# licence or install notes beside them.
installed_filter='-ModuleInfoCommand.*:ReleaseArchive.*'

echo "--- $linux_archive"
mkdir "$scratch/linux"
tar -xzf "$DIST/$linux_archive" -C "$scratch/linux"
KESTRAVEL_RELEASE_DIR=$scratch/linux "$LINUX_BUILD/tests/release/release_tests" --gtest_brief=1 --gtest_filter='-ModuleInfoCommand.*'

# Each bundle of an unpacked archive equals the one of the same name in an installed folder.
same_bundles() { # archive folder, installed folder, what installed it
  local bundle
  for bundle in "$1"/*.vst3; do
    diff -r "$bundle" "$2/$(basename "$bundle")" >/dev/null ||
      fail "the $(basename "$bundle") that $3 installed differs from the archive's"
  done
}
# The files and folders under a root, one a line, relative and sorted.
tree_of() { (cd "$1" && find . -mindepth 1 | LC_ALL=C sort); }

echo "--- install from source matches the archive"
cmake --install "$LINUX_BUILD" --prefix "$scratch/prefix" >/dev/null
same_bundles "$scratch/linux" "$scratch/prefix/lib/vst3" "cmake --install"
[ "$(ls "$scratch/prefix/lib/vst3" | wc -l)" = 8 ] || fail "the install holds $(ls "$scratch/prefix/lib/vst3")"
echo "  the eight bundles of cmake --install --prefix equal the archive's"

echo "--- $deb"
field() { dpkg-deb --field "$DIST/$deb" "$1"; }
expect_field() { # name, extended regular expression its value must match
  local value
  value=$(field "$1")
  [[ "$value" =~ $2 ]] || fail "$deb: $1 is '$value'"
}
expect_field Package '^kestravel-rack$'
expect_field Version "^$v(~dirty)?\$"
expect_field Architecture '^amd64$'
expect_field Section '^sound$'
expect_field Maintainer '^.+ <.+@.+>$'
expect_field Recommends '^zenity \| kdialog$'
expect_field Description '^KESTRAVEL utility rack: .+'
# Depends is computed from the binaries: every library they link comes with its package.
depends=$(field Depends)
for library in libcairo2 libpango-1.0-0 libpangocairo-1.0-0 libxcb1 'libstdc\+\+6' libc6; do
  [[ "$depends" =~ (^|, )$library( |,|\$) ]] || fail "$deb: Depends '$depends' names no $library"
done
# Only the bundles and the copyright file, nothing elsewhere in the system.
strays=$(dpkg-deb --contents "$DIST/$deb" | awk '{print $6}' |
  grep -v -E '^\./(usr/((lib|share|share/doc|share/doc/kestravel-rack|lib/vst3)/)?)?$|^\./usr/lib/vst3/Kestravel[A-Za-z]+\.vst3/|^\./usr/share/doc/kestravel-rack/copyright$' || true)
[ -z "$strays" ] || fail "$deb holds files outside its bundles and copyright: $strays"
echo "  control fields and contents as expected (Depends: $depends)"

# dpkg in a scratch root: install, the release checks on what it installed, an upgrade over an
# older version whose bundle held one more file, and removal.
root=$scratch/debroot
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
touch "$root/var/lib/dpkg/status"
# The scratch root has none of the libraries the package depends on.
scratch_dpkg() {
  local out
  out=$(dpkg --root="$root" --force-not-root --force-script-chrootless --force-depends --log=/dev/null "$@" 2>&1) ||
    fail "dpkg $*: $out"
}
mkdir "$scratch/older"
dpkg-deb --raw-extract "$DIST/$deb" "$scratch/older"
sed -i 's/^Version: .*/Version: 0.0.1/' "$scratch/older/DEBIAN/control"
echo "left over from an older version" >"$scratch/older/usr/lib/vst3/KestravelInput.vst3/Contents/Resources/older.txt"
dpkg-deb --root-owner-group --build "$scratch/older" "$scratch/older.deb" >/dev/null
scratch_dpkg --install "$scratch/older.deb"
scratch_dpkg --install "$DIST/$deb"
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" --showformat='${Version}' --show kestravel-rack)" = "$(field Version)" ] ||
  fail "dpkg did not upgrade to $deb"
installed=$(tree_of "$root" | grep -v -E '^\./var(/lib(/dpkg(/.*)?)?)?$' || true)
packaged=$(dpkg-deb --contents "$DIST/$deb" | awk '{print $6}' | sed 's,/$,,' | grep -v '^\.$' | LC_ALL=C sort)
[ "$installed" = "$packaged" ] || fail "the upgraded root holds other files than $deb: $(diff <(echo "$packaged") <(echo "$installed") || true)"
same_bundles "$scratch/linux" "$root/usr/lib/vst3" "dpkg"
cmp -s "$root/usr/share/doc/kestravel-rack/copyright" "$scratch/linux/LICENSE" || fail "$deb's copyright is not the LICENSE"
KESTRAVEL_RELEASE_DIR=$root/usr/lib/vst3 "$LINUX_BUILD/tests/release/release_tests" --gtest_brief=1 --gtest_filter="$installed_filter"
scratch_dpkg --remove kestravel-rack
left=$(tree_of "$root" | grep -v -E '^\./var(/lib(/dpkg(/.*)?)?)?$' || true)
[ -z "$left" ] || fail "dpkg --remove left: $left"
echo "  installed, upgraded over an older version and removed in a scratch root: no stray files"

echo "--- $windows_archive (under Wine)"
mkdir "$scratch/windows"
# cmake unpacks zip archives itself, so no unzip is needed.
(cd "$scratch/windows" && cmake -E tar xf "$DIST/$windows_archive")
tests_exe=$WINDOWS_BUILD/tests/release/release_tests.exe
[ -f "$tests_exe" ] || fail "$tests_exe is not built (the Windows phase builds it)"
export WINEPREFIX=$WINDOWS_BUILD/wineprefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
KESTRAVEL_RELEASE_DIR="Z:$scratch/windows" bash "$ROOT/scripts/wine-run.sh" "$tests_exe" --gtest_brief=1 --gtest_filter='-ModuleInfoCommand.*'
wineserver -k 2>/dev/null || true

echo "--- $setup_program (silently, in a fresh Wine prefix)"
export WINEPREFIX=$scratch/wineprefix
wineboot --init >/dev/null 2>&1
wineserver -w
files="$WINEPREFIX/drive_c/Program Files"
vst3="$files/Common Files/VST3"
# Another vendor's plug-in, which neither installing nor uninstalling may touch.
mkdir -p "$vst3/Other.vst3/Contents"
echo other >"$vst3/Other.vst3/Contents/other.txt"
before=$(tree_of "$files")
key='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTRAVEL rack]'
# An older version first, made by cpack from the same tree under an older version number, whose
# bundle held one more file; the new setup program must replace it without leaving that behind.
cpack --config "$WINDOWS_BUILD/CPackConfig.cmake" -G NSIS -B "$scratch/older-setup" \
  -D CPACK_PACKAGE_VERSION=0.0.1 -D CPACK_PACKAGE_FILE_NAME=older-setup >/dev/null ||
  fail "cpack could not make the older setup program"
cp "$scratch/older-setup/older-setup.exe" "$WINEPREFIX/drive_c/older-setup.exe"
wine 'C:\older-setup.exe' /S
wineserver -w
grep -q -F '"DisplayVersion"="0.0.1"' "$WINEPREFIX/system.reg" || fail "the older setup program registered no version 0.0.1"
echo "left over" >"$vst3/KestravelInput.vst3/Contents/Resources/older.txt"
cp "$DIST/$setup_program" "$WINEPREFIX/drive_c/setup.exe"
wine 'C:\setup.exe' /S
wineserver -w
[ ! -e "$vst3/KestravelInput.vst3/Contents/Resources/older.txt" ] || fail "the upgrade kept an older bundle's file"
same_bundles "$scratch/windows" "$vst3" "the setup program"
[ "$(ls "$vst3" | wc -l)" = 9 ] || fail "the VST3 folder holds $(ls "$vst3")"
[ -f "$vst3/Other.vst3/Contents/other.txt" ] || fail "the setup program touched another plug-in"
[ "$(ls "$files/KESTRAVEL rack")" = "$(printf 'LICENSE\nUninstall.exe')" ] ||
  fail "Program Files\\KESTRAVEL rack holds $(ls "$files/KESTRAVEL rack")"
cmp -s "$files/KESTRAVEL rack/LICENSE" "$scratch/windows/LICENSE" || fail "the installed LICENSE is not the archive's"
entry=$(grep -F -A 12 "$key" "$WINEPREFIX/system.reg") || fail "no entry in the list of installed programs"
for value in '"DisplayName"="KESTRAVEL rack"' "\"DisplayVersion\"=\"$(field Version | sed 's/~dirty$//')\"" \
  '"Publisher"="KESTRAVEL"' '"UninstallString"="\"C:\\Program Files\\KESTRAVEL rack\\Uninstall.exe\""'; do
  grep -q -F "$value" <<<"$entry" || fail "the uninstall entry has no $value: $entry"
done
KESTRAVEL_RELEASE_DIR='C:\Program Files\Common Files\VST3' bash "$ROOT/scripts/wine-run.sh" "$tests_exe" \
  --gtest_brief=1 --gtest_filter="$installed_filter"
wine 'C:\Program Files\KESTRAVEL rack\Uninstall.exe' /S
wineserver -w
after=$(tree_of "$files")
[ "$after" = "$before" ] || fail "the uninstaller left Program Files changed: $(diff <(echo "$before") <(echo "$after") || true)"
! grep -q -F "$key" "$WINEPREFIX/system.reg" || fail "the uninstaller left its registry entry"
echo "  installed over an older version, uninstalled: only its own files and entry came and went"
echo "check-release: the archives and both installers pass"
