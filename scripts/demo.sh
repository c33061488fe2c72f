#!/usr/bin/env bash
# A short session through the real bundles: scan all eight, render through the routing modules,
# then play a file through PLAYER into RECORDER with the sync messages routed between them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=${1:-build}
RACKHOST=$BUILD/host/rackhost
BUNDLES=$BUILD/vst3
OUT=$BUILD/demo
rm -rf "$OUT"
mkdir -p "$OUT"

say() { printf '\n--- %s\n' "$*"; }
peak() { sox -V1 "$1" -n stat 2>&1 | awk '/Maximum amplitude/ {max=$3} /Minimum amplitude/ {min=-$3} END {m = max > min ? max : min; if (m > 0) printf "%.2f dBFS", 20 * log(m) / log(10); else print "silence"}'; }

say "Scanning the eight bundles"
for bundle in "$BUNDLES"/*.vst3; do
  "$RACKHOST" info "$bundle" > "$OUT/$(basename "$bundle" .vst3).info.txt"
  name=$(grep -m1 '^class 0:' "$OUT/$(basename "$bundle" .vst3).info.txt" | cut -d'"' -f2)
  params=$(grep -m1 'parameters:' "$OUT/$(basename "$bundle" .vst3).info.txt" | awk '{print $2}')
  printf '  %-24s %-24s %s parameters\n' "$(basename "$bundle")" "$name" "$params"
done

say "A generated test signal: 2 s of 220 Hz + 330 Hz stereo at 48 kHz, float"
sox -V1 -n -r 48000 -c 2 -b 32 -e floating-point "$OUT/tone.wav" synth 2 sine 220 sine 330 gain -6
echo "  input peak $(peak "$OUT/tone.wav")"

# Normalized gain v means v * 102 - 90 dB.
say "OUTPUT with its gain at -12 dB (normalized 78/102), automated to 0 dB at 1 s"
"$RACKHOST" render "$BUNDLES/KestravelOutput.vst3" --in "$OUT/tone.wav" --out "$OUT/output.wav" \
  --param 1=0.7647058823529411 --automate 1@48000=0.8823529411764706
sox -V1 "$OUT/output.wav" "$OUT/output-first.wav" trim 0 0.9
echo "  first second peak $(peak "$OUT/output-first.wav"), whole file peak $(peak "$OUT/output.wav")"

say "FADER BANK: strip 1 at -6 dB, strip 2 muted"
"$RACKHOST" render "$BUNDLES/KestravelFaderBank.vst3" --in "$OUT/tone.wav" --out "$OUT/faderbank.wav" \
  --param 100=0.8235294117647058 --param 201=1
echo "  output peak $(peak "$OUT/faderbank.wav") (strip 1 only; the rest is silent)"

say "SUMMING: four active inputs, master +6 dB"
"$RACKHOST" render "$BUNDLES/KestravelSumming.vst3" --in "$OUT/tone.wav" --out "$OUT/summing.wav" \
  --param 0=0.047619047619047616 --param 1=0.9411764705882353
echo "  output peak $(peak "$OUT/summing.wav")"

say "PLAYER -> RECORDER: the take starts on the PLAYER's first sample and ends after the tail"
sox -V1 -n -r 48000 -c 2 -b 16 "$OUT/source.wav" synth 1 sine 440 gain -3
"$RACKHOST" session --player "$BUNDLES/KestravelPlayer.vst3" --recorder "$BUNDLES/KestravelRecorder.vst3" \
  --in "$OUT/source.wav" --take "$OUT/take.wav"
echo "  take: $(soxi -V1 -s "$OUT/take.wav") frames, $(soxi -V1 -c "$OUT/take.wav") channels, $(soxi -V1 -r "$OUT/take.wav") Hz"

say "Second run on the same destination: the RECORDER arms a new take and leaves the first alone"
before=$(sha256sum < "$OUT/take.wav")
"$RACKHOST" session --player "$BUNDLES/KestravelPlayer.vst3" --recorder "$BUNDLES/KestravelRecorder.vst3" \
  --in "$OUT/source.wav" --take "$OUT/take.wav"
[ -f "$OUT/take-take1.wav" ] && echo "  take-take1.wav written"
[ "$before" = "$(sha256sum < "$OUT/take.wav")" ] && echo "  take.wav untouched"

say "Saved state: save a RECORDER's state, edit it, restore it into a fresh instance"
"$RACKHOST" state save "$BUNDLES/KestravelRecorder.vst3" "$OUT/recorder-state.json"
sed -i 's/"path": ""/"path": "demo-destination.wav"/' "$OUT/recorder-state.json"
"$RACKHOST" state load "$BUNDLES/KestravelRecorder.vst3" "$OUT/recorder-state.json" > "$OUT/recorder-restored.txt"
grep -m1 setState "$OUT/recorder-restored.txt"

say "Saved state: a PLAYER restored with its file, as a host reloads a project"
"$RACKHOST" state save "$BUNDLES/KestravelPlayer.vst3" "$OUT/player-state.json"
sed -i "s|\"path\": \"\"|\"path\": \"$OUT/source.wav\"|" "$OUT/player-state.json"
"$RACKHOST" state load "$BUNDLES/KestravelPlayer.vst3" "$OUT/player-state.json" > "$OUT/player-restored.txt"
grep -m1 setState "$OUT/player-restored.txt"

say "Done: outputs are in $OUT"
