#!/usr/bin/env bash
# Release archives and installers from the Linux and Windows release builds, written to dist/:
#   kestravel-rack-VERSION-linux-x86_64.tar.gz    kestravel-rack-VERSION-windows-x86_64.zip
#   kestravel-rack_VERSION_amd64.deb              kestravel-rack-VERSION-windows-x86_64-setup.exe
#   SHA256SUMS
# VERSION is the project version in CMakeLists.txt. A checkout with uncommitted changes (or
# untracked files) is packaged as VERSION-dirty, so such an archive cannot pass for a release.
#
#   --no-build                package build/ and build-windows/ as they are (./rack test does)
#   KESTRAVEL_DIST_DIR        where the archives go (default: dist in the checkout)
#   KESTRAVEL_WINDOWS_BUILD_DIR, JOBS   as for scripts/windows.sh
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LINUX_BUILD=$ROOT/build
WINDOWS_BUILD=${KESTRAVEL_WINDOWS_BUILD_DIR:-$ROOT/build-windows}
DIST=${KESTRAVEL_DIST_DIR:-$ROOT/dist}
JOBS=${JOBS:-$(nproc)}

build=1
for arg in "$@"; do
  case "$arg" in
    --no-build) build=0 ;;
    *) echo "usage: ./rack package [--no-build]" >&2; exit 2 ;;
  esac
done

fail() { echo "package: $*" >&2; exit 1; }
# A tool this script runs itself, named with the Debian package that provides it.
need() { command -v "$1" >/dev/null || fail "$1 is missing; it comes with the Debian package $2 (apt-get install $2)"; }
need cmake cmake
need cpack cmake
need sha256sum coreutils
need makensis nsis
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need file file

tag=""
if ! command -v git >/dev/null || ! git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # Sources of unknown state are no release either.
  tag=-dirty
  echo "package: $ROOT is no git checkout (or git is missing), so its changes are unknown; the archives are marked VERSION$tag"
elif [ -n "$(git -C "$ROOT" status --porcelain)" ]; then
  tag=-dirty
  echo "package: the checkout has uncommitted changes; the archives are marked VERSION$tag"
fi

if [ "$build" = 1 ]; then
  echo "=== package: Linux release build"
  cmake -S "$ROOT" -B "$LINUX_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVEL_BUNDLE_RESOURCES=ON >/dev/null
  cmake --build "$LINUX_BUILD" -j"$JOBS" --target bundles
  echo "=== package: Windows release build"
  need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
  KESTRAVEL_WINDOWS_TARGETS=bundles KESTRAVEL_WINDOWS_SKIP_TESTS=1 KESTRAVEL_WINDOWS_BUILD_DIR=$WINDOWS_BUILD \
    bash "$ROOT/scripts/windows.sh"
fi

# The version of one configured tree; both trees must carry the same version.
version=""
tree_version() { # build dir
  local dir=$1
  [ -f "$dir/CPackConfig.cmake" ] || fail "$dir is not a configured build tree (run ./rack package without --no-build)"
  grep -q '^KESTRAVEL_BUNDLE_RESOURCES:BOOL=ON$' "$dir/CMakeCache.txt" ||
    fail "$dir builds its bundles without moduleinfo.json and snapshots (KESTRAVEL_BUNDLE_RESOURCES is off)"
  local v
  v=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
  [ -n "$v" ] || fail "$dir/CPackConfig.cmake names no version"
  if [ -n "$version" ] && [ "$v" != "$version" ]; then
    fail "the Linux tree is version $version but $dir is $v: configure both from the same checkout"
  fi
  version=$v
}

# One package of a configured tree, by cpack's generator.
files=()
package() { # build dir, generator, file name, cpack -D settings...
  local dir=$1 generator=$2 file=$1/package/$3
  shift 3
  rm -f "$file"
  local log
  log=$(mktemp)
  if ! cpack --config "$dir/CPackConfig.cmake" -G "$generator" -B "$dir/package" "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    fail "cpack could not make the $generator package of $dir"
  fi
  rm -f "$log"
  [ -f "$file" ] || fail "cpack wrote no $file"
  files+=("$file")
}

echo "=== package: archives and installers"
tree_version "$LINUX_BUILD"
tree_version "$WINDOWS_BUILD"
name=kestravel-rack-$version$tag
package "$LINUX_BUILD" TGZ "$name-linux-x86_64.tar.gz" -D CPACK_PACKAGE_FILE_NAME="$name-linux-x86_64"
package "$WINDOWS_BUILD" ZIP "$name-windows-x86_64.zip" -D CPACK_PACKAGE_FILE_NAME="$name-windows-x86_64"
package "$WINDOWS_BUILD" NSIS "$name-windows-x86_64-setup.exe" -D CPACK_PACKAGE_FILE_NAME="$name-windows-x86_64-setup"
# "~" sorts before everything in Debian versions, so the clean release of a version upgrades over
# a dirty package of it.
deb_version=$version${tag:+~${tag#-}}
package "$LINUX_BUILD" DEB "kestravel-rack_${deb_version}_amd64.deb" -D CPACK_DEBIAN_PACKAGE_VERSION="$deb_version"

mkdir -p "$DIST"
rm -f "$DIST"/kestravel-rack-*.tar.gz "$DIST"/kestravel-rack-*.zip "$DIST"/kestravel-rack-*-setup.exe \
  "$DIST"/kestravel-rack_*.deb "$DIST/SHA256SUMS"
names=()
for file in "${files[@]}"; do
  mv "$file" "$DIST/"
  names+=("$(basename "$file")")
done
(cd "$DIST" && sha256sum "${names[@]}" >SHA256SUMS)
echo "package: wrote to $DIST"
(cd "$DIST" && ls -l "${names[@]}" SHA256SUMS | awk '{printf "  %-52s %10s bytes\n", $NF, $5}')
