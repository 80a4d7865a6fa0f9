#!/usr/bin/env bash
# The main job: packages the demo instrument (instruments/KorvaneDemoSynth: a
# six-voice synthesizer of oscillator, envelope and amplifier, read from its
# dsp.kv.xml at run time), loads the bundle in the headless host kvhost as a
# DAW would, plays its phrase (three chords, a held note and its release) and
# writes a WAV file, printing where it is and its peak and RMS level.
set -euo pipefail
build=${1:-build}
out=${2:-$build/demo.wav}
here=$(cd "$(dirname "$0")/.." && pwd)

cmake --build "$build" --target KorvaneDemoSynth_vst3 kvhost
bundle="$build/vst3/KorvaneDemoSynth.vst3"
phrase="$here/instruments/KorvaneDemoSynth/phrase.notes"

echo "Korvane demo: playing $phrase through $bundle"
"$build/tools/kvhost" "$bundle" --notes "$phrase" --out "$out"
echo "Korvane demo: wrote $(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
