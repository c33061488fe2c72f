#!/usr/bin/env bash
# Windows x86-64: cross-builds the bundles with mingw-w64, checks what each bundle imports and
# exports, and runs the Windows test suite under Wine, headless.
#
#   KESTRAVEL_WINDOWS_BUILD_DIR  build tree (default: build-windows in the checkout)
#   KESTRAVEL_WINE_FRESH=1       throw away the Wine prefix of an earlier run first
#   JOBS                         parallel build and test jobs (default: number of cores)
#   KESTRAVEL_WINDOWS_TARGETS    build only these targets (e.g. "bundles" for a release)
#   KESTRAVEL_WINDOWS_SKIP_TESTS=1  stop after the bundle checks
# Extra arguments go to ctest (e.g. -R Windows).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KESTRAVEL_WINDOWS_BUILD_DIR:-$ROOT/build-windows}
JOBS=${JOBS:-$(nproc)}
TRIPLE=x86_64-w64-mingw32
MODULES=(Input Output Summing Breakout Player Recorder FaderBank Distributor)

PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 xvfb googletest nlohmann-json3-dev)
# Wine with its recommended packages: its fonts and X extensions are what the GDI tests draw with.
WINE_PACKAGES=(wine wine64)

declare -a TIMINGS=()
phase_start=0
now_ns() { date +%s%N; }
# Seconds since a now_ns reading, with tenths.
since() {
  local ms=$((($(now_ns) - $1) / 1000000))
  printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}
phase() {
  phase_end
  phase_name=$1
  phase_start=$(now_ns)
  printf '\n=== windows: %s (%s)\n' "$1" "$(date +%H:%M:%S)"
}
phase_end() {
  if [ "$phase_start" != 0 ]; then
    TIMINGS+=("$(printf '%-28s %7s s' "$phase_name" "$(since "$phase_start")")")
    phase_start=0
  fi
}
report_timings() {
  phase_end
  echo
  echo "=== windows: timings"
  printf '  %s\n' "${TIMINGS[@]}"
}

ensure_packages() { # [--with-recommends] packages...
  local recommends=--no-install-recommends
  if [ "${1:-}" = --with-recommends ]; then recommends=""; shift; fi
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "windows: missing Debian packages: ${missing[*]} (run as root to install them)" >&2
    return 1
  fi
  echo "windows: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $recommends "${missing[@]}" >/dev/null
}

# Everything below that starts a process remembers it, and the exit trap ends exactly those.
XVFB_PID=""
cleanup() {
  local rc=$?
  if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null; then
    wineserver -k 2>/dev/null || true
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  report_timings
  exit $rc
}
trap cleanup EXIT

phase "packages"
ensure_packages "${PACKAGES[@]}"
ensure_packages --with-recommends "${WINE_PACKAGES[@]}"

# One prefix per build tree, set up once and shared by every test of the run.
phase "wine prefix"
export WINEPREFIX=$BUILD/wineprefix
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installer prompts in a headless prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$BUILD"

# A private X server: the editor tests open real windows, and nothing may appear on a desktop.
source "$ROOT/scripts/xvfb.sh"
start_xvfb windows

if [ "${KESTRAVEL_WINE_FRESH:-0}" = 1 ] || [ ! -f "$WINEPREFIX/.kestravel-ready" ]; then
  rm -rf "$WINEPREFIX"
  boot_start=$(now_ns)
  wineboot --init >/dev/null 2>&1
  wineserver -w
  # A crashing test must fail at once, with a backtrace, instead of waiting on a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  wineserver -w
  touch "$WINEPREFIX/.kestravel-ready"
  echo "windows: first Wine start in a new prefix took $(since "$boot_start") s"
else
  echo "windows: reusing the Wine prefix in $WINEPREFIX"
fi
# One persistent server for the whole run, so no test pays Wine's start-up.
wineserver -p
warm_start=$(now_ns)
wine cmd /c exit 0 >/dev/null
echo "windows: then a Wine start takes $((($(now_ns) - warm_start) / 1000000)) ms"

phase "configure"
cmake --preset windows -S "$ROOT" -B "$BUILD" >/dev/null

phase "build"
# shellcheck disable=SC2086 # a list of target names
cmake --build "$BUILD" -j"$JOBS" ${KESTRAVEL_WINDOWS_TARGETS:+--target $KESTRAVEL_WINDOWS_TARGETS}

phase "bundle imports and exports"
# The C++ runtime is linked statically: a bundle may import only DLLs every Windows has.
SYSTEM_DLLS='^(kernel32|user32|gdi32|comdlg32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|advapi32|shell32|ole32|oleaut32|comctl32|shlwapi|uxtheme|msimg32|imm32|winmm|version|dwmapi|ntdll)\.dll$'
problems=0
bundles=0
for m in "${MODULES[@]}"; do
  name="Kestravel$m"
  dll="$BUILD/vst3/$name.vst3/Contents/x86_64-win/$name.vst3"
  if [ ! -f "$dll" ]; then
    echo "  $name: MISSING ($dll)"
    problems=$((problems + 1))
    continue
  fi
  bundles=$((bundles + 1))
  dump=$("$TRIPLE-objdump" -p "$dll")
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | sort -u)
  bad=$(grep -viE "$SYSTEM_DLLS" <<<"$imports" || true)
  exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort | tr '\n' ' ')
  ownname=$(sed -n '/^The Export Tables/,/^Ordinal Base/s/^Name[[:space:]]*[0-9a-fA-F]* //p' <<<"$dump")
  status=ok
  if [ -n "$bad" ]; then
    status="FAIL: imports non-system DLLs: $(tr '\n' ' ' <<<"$bad")"
  elif [ "$exports" != "ExitDll GetPluginFactory InitDll " ]; then
    status="FAIL: exports '$exports'"
  elif [ "$ownname" != "$name.vst3" ]; then
    status="FAIL: export table names '$ownname'"
  fi
  [ "$status" = ok ] || problems=$((problems + 1))
  printf '  %-22s %s | imports: %s| exports: %s| %s\n' "$name" "$ownname" \
    "$(tr '\n' ' ' <<<"$imports")" "$exports" "$status"
done
if [ "$problems" -ne 0 ]; then
  echo "windows: $problems bundle problem(s), $bundles of ${#MODULES[@]} bundles built" >&2
  exit 1
fi

[ "${KESTRAVEL_WINDOWS_SKIP_TESTS:-0}" = 1 ] && exit 0

phase "tests under Wine"
ctest --test-dir "$BUILD" --output-on-failure --no-tests=error -j"$JOBS" --timeout 600 "$@"
