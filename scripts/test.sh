#!/usr/bin/env bash
# Every test: Linux release, sanitizers, bounded fuzzing, then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
start=$(date +%s)

phase() { printf '\n=== %s (%s, %ds so far)\n' "$1" "$(date +%H:%M:%S)" "$(( $(date +%s) - start ))"; }
build() { # dir, cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
}

# A private X server for the Linux editor's window tests, for the Linux phases only (the Windows
# phase starts its own). -noreset: the server must not restart between two tests' connections.
source scripts/xvfb.sh
start_xvfb test -noreset
trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT

phase "Linux release: build and test"
# The benchmarks are built too (not run), so they keep up with the code they measure.
build build -DCMAKE_BUILD_TYPE=Release -DKESTRAVEL_BENCH=ON
ctest --test-dir build --output-on-failure -j"$JOBS"

phase "Linux address and undefined-behaviour sanitizers"
# -O1 without debug info keeps the sanitizer builds short; reports still name the functions.
build build-asan -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O1 -DKESTRAVEL_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/editor/lsan.supp ctest --test-dir build-asan --output-on-failure -j"$JOBS"

phase "Linux thread sanitizer"
build build-tsan -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O1 -DKESTRAVEL_SANITIZE=thread
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/editor/tsan.supp" ctest --test-dir build-tsan --output-on-failure -j"$JOBS"

kill "$XVFB_PID" 2>/dev/null || true
wait "$XVFB_PID" 2>/dev/null || true
unset DISPLAY

phase "Fuzzing, ${FUZZ_SECONDS}s per target"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -g" \
  -DKESTRAVEL_SANITIZE=fuzzer-no-link,address,undefined \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKESTRAVEL_FUZZ=ON -DKESTRAVEL_TESTS=OFF >/dev/null
# Only the fuzz targets and what they link, not the bundles.
mapfile -t fuzz_targets < <(ninja -C build-fuzz -t targets all | sed -n 's/^\([A-Za-z0-9_]*_fuzz\): .*/\1/p' | sort -u)
cmake --build build-fuzz -j"$JOBS" --target "${fuzz_targets[@]}"
for target in build-fuzz/fuzz/*/*_fuzz; do
  [ -x "$target" ] || continue
  corpus=$(mktemp -d)
  log=$(mktemp)
  echo "--- $(basename "$target")"
  if ! "$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=4096 "$corpus" >"$log" 2>&1; then
    cat "$log"
    exit 1
  fi
  tail -n 2 "$log"
  rm -rf "$corpus" "$log"
done

phase "Windows x86-64 under Wine"
bash scripts/windows.sh

phase "Release archives from these builds"
# Packages the trees built above (nothing is rebuilt) into a scratch folder, then checks them.
KESTRAVEL_DIST_DIR=$PWD/build/dist bash scripts/package.sh --no-build
bash scripts/check-release.sh build/dist

phase "all tests passed"
