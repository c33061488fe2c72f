#!/usr/bin/env bash
# The README's editor pictures: each module's editor shown in a real X11 window by
# `rackhost show` (on a private Xvfb) and its pixels written to docs/snapshots/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
out=${2:-docs/snapshots}
rackhost=$build/host/rackhost
[ -x "$rackhost" ] || { echo "screenshots: build rackhost and the bundles first ($rackhost)" >&2; exit 1; }
mkdir -p "$out"

displayfile=$(mktemp)
Xvfb -displayfd 8 -nolisten tcp -noreset -screen 0 1280x1024x24 8>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$displayfile"' EXIT
for _ in $(seq 100); do
  [ -s "$displayfile" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$displayfile")"

for m in Input Output Summing Breakout Player Recorder FaderBank Distributor; do
  "$rackhost" show "$build/vst3/Kestravel$m.vst3" --seconds 0.5 --screenshot "$out/Kestravel$m.png"
done
