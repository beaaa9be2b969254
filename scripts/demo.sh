#!/usr/bin/env bash
# The main job: with a display, the window opens; without one, a few seconds
# of the built-in sine are rendered and the file described.
set -euo pipefail
frisson=$1
out=$2
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$frisson"
fi
echo "No display: rendering a demo instead of opening the window."
mkdir -p "$out"
"$frisson" render -o "$out/demo.wav" --seconds 5 --stream sound=sine
"$frisson" info "$out/demo.wav"
echo "Rendered $out/demo.wav"
