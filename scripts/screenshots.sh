#!/usr/bin/env bash
# The README's editor pictures: each module's editor shown in a real X11 window by
# `rackhost show` (on a private Xvfb) and its pixels written to docs/snapshots/, after a short
# signal went through the module so the meters show levels; FADER BANK also at 2x.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
out=${2:-docs/snapshots}
rackhost=$build/host/rackhost
[ -x "$rackhost" ] || { echo "screenshots: build rackhost and the bundles first ($rackhost)" >&2; exit 1; }
mkdir -p "$out"

source scripts/xvfb.sh
start_xvfb screenshots -noreset
trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT

signal=cmake/snapshot_signal.wav
for m in Input Output Summing Breakout Player Recorder FaderBank Distributor; do
  "$rackhost" show "$build/vst3/Kestravel$m.vst3" --in "$signal" --seconds 0.5 --screenshot "$out/Kestravel$m.png"
done
"$rackhost" snapshot "$build/vst3/KestravelFaderBank.vst3" --in "$signal" --scale 2 --out "$out/KestravelFaderBank@2x.png"
