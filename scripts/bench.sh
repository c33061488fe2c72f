#!/usr/bin/env bash
# Runs every benchmark program of a benchmark build; extra arguments go to each program.
set -euo pipefail
dir=${1:-build-bench}
shift || true
cd "$(dirname "${BASH_SOURCE[0]}")/.."
found=0
for program in "$dir"/bench/*/*_bench; do
  [ -x "$program" ] || continue
  found=1
  printf '\n=== %s\n' "$(basename "$program")"
  "$program" --benchmark_counters_tabular=true "$@"
done
[ "$found" -eq 1 ] || { echo "no benchmark programs in $dir" >&2; exit 1; }
