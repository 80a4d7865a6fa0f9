#!/usr/bin/env bash
# The main job: packages the demo instrument (instruments/KorvaneDemoSynth: a
# six-voice synthesizer of oscillator, envelope and amplifier, read from its
# dsp.kv.xml at run time), loads the bundle in the headless host kvhost as a
# DAW would, plays its phrase (three chords, a held note and its release) and
# writes a WAV file, printing where it is and its peak and RMS level. Then it
# opens the instrument's editor and writes a picture of it next to the WAV:
# in a real window when an X display can be had ($DISPLAY, else an Xvfb of
# its own), else drawn offscreen.
set -euo pipefail
build=${1:-build}
out=${2:-$build/demo.wav}
here=$(cd "$(dirname "$0")/.." && pwd)

cmake --build "$build" --target KorvaneDemoSynth_vst3 kvhost kvshot
bundle="$build/vst3/KorvaneDemoSynth.vst3"
phrase="$here/instruments/KorvaneDemoSynth/phrase.notes"

echo "Korvane demo: playing $phrase through $bundle"
"$build/tools/kvhost" "$bundle" --notes "$phrase" --out "$out"
echo "Korvane demo: wrote $(cd "$(dirname "$out")" && pwd)/$(basename "$out")"

shot="${out%.wav}-editor.png"
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# Adds a line to the record of X servers started, when one is asked for
# (KV_XVFB_RECORD), as the tests' X servers do.
record_xvfb() {
    [ -z "${KV_XVFB_RECORD:-}" ] || echo "$*" >>"$KV_XVFB_RECORD"
}

# An X server of our own; its display number comes back on a pipe.
start_xvfb() {
    command -v Xvfb >/dev/null 2>&1 || return 1
    local fifo number
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    record_xvfb "$xvfb_pid"
    if ! read -r -t 10 number <"$fifo"; then
        rm -f "$fifo"
        return 1
    fi
    rm -f "$fifo"
    record_xvfb "$xvfb_pid" "$number"
    DISPLAY=":$number"
    export DISPLAY
}

in_window() {
    "$build/tools/kvhost" "$bundle" --editor --wait 0.2 --screenshot "$shot" >/dev/null
}

how=""
if [ -n "${DISPLAY:-}" ] && in_window 2>/dev/null; then
    how="in a window on $DISPLAY"
elif start_xvfb && in_window; then
    how="in a window on Xvfb $DISPLAY"
elif "$build/tools/kvshot" "$bundle" "$shot"; then
    how="offscreen"
fi
if [ -n "$how" ]; then
    echo "Korvane demo: editor screenshot ($how) at $(cd "$(dirname "$shot")" && pwd)/$(basename "$shot")"
else
    echo "Korvane demo: could not take a screenshot of the editor" >&2
    exit 1
fi
