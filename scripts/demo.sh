#!/usr/bin/env bash
# The main job: packages the demo bundle (KvDemoFilter: a saw through a
# one-pole low-pass, read from its dsp.kv.xml at run time), loads it in the
# headless host kvhost as a DAW would, renders two seconds and writes a WAV
# file, printing its length, peak and RMS. The patch has no voices yet, so it
# plays a steady tone rather than notes.
set -euo pipefail
build=${1:-build}
out=${2:-$build/demo.wav}

cmake --build "$build" --target KvDemoFilter_vst3 kvhost
bundle="$build/vst3/KvDemoFilter.vst3"

echo "Korvane demo: rendering $bundle"
"$build/tools/kvhost" "$bundle" --out "$out" --seconds 2
echo "Korvane demo: wrote $out"
