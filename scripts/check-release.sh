#!/usr/bin/env bash
# Checks the archives ./rack package wrote, as a user meets them: the checksums match, and each
# archive, unpacked into a fresh folder, passes the release checks of its own platform (the
# Windows one under Wine, loading the DLLs from the unpacked folder). The Linux install from
# source must give the same bundle folders as the archive.
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
listed=$(awk '{print $2}' "$DIST/SHA256SUMS" | sed 's/^\*//' | sort | tr '\n' ' ')
pattern='^kestravel-rack-[0-9]+\.[0-9]+\.[0-9]+(-dirty)?-linux-x86_64\.tar\.gz kestravel-rack-[0-9]+\.[0-9]+\.[0-9]+(-dirty)?-windows-x86_64\.zip $'
[[ "$listed" =~ $pattern ]] || fail "SHA256SUMS lists '$listed', not one Linux and one Windows archive"
(cd "$DIST" && sha256sum --check --strict --quiet SHA256SUMS) || fail "an archive does not match SHA256SUMS"
read -r linux_archive windows_archive <<<"$listed"
echo "  $linux_archive, $windows_archive: match"

echo "--- $linux_archive"
mkdir "$scratch/linux"
tar -xzf "$DIST/$linux_archive" -C "$scratch/linux"
KESTRAVEL_RELEASE_DIR=$scratch/linux "$LINUX_BUILD/tests/release/release_tests" --gtest_brief=1 --gtest_filter='-ModuleInfoCommand.*'

echo "--- install from source matches the archive"
cmake --install "$LINUX_BUILD" --prefix "$scratch/prefix" >/dev/null
for bundle in "$scratch"/linux/*.vst3; do
  diff -r "$bundle" "$scratch/prefix/lib/vst3/$(basename "$bundle")" >/dev/null ||
    fail "the installed $(basename "$bundle") differs from the archive's"
done
[ "$(ls "$scratch/prefix/lib/vst3" | wc -l)" = 8 ] || fail "the install holds $(ls "$scratch/prefix/lib/vst3")"
echo "  the eight bundles of cmake --install --prefix equal the archive's"

echo "--- $windows_archive (under Wine)"
mkdir "$scratch/windows"
# cmake unpacks zip archives itself, so no unzip is needed.
(cd "$scratch/windows" && cmake -E tar xf "$DIST/$windows_archive")
tests_exe=$WINDOWS_BUILD/tests/release/release_tests.exe
[ -f "$tests_exe" ] || fail "$tests_exe is not built (the Windows phase builds it)"
export WINEPREFIX=$WINDOWS_BUILD/wineprefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
KESTRAVEL_RELEASE_DIR="Z:$scratch/windows" bash "$ROOT/scripts/wine-run.sh" "$tests_exe" --gtest_brief=1 --gtest_filter='-ModuleInfoCommand.*'
echo "check-release: both archives pass"
