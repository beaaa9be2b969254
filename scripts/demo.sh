#!/usr/bin/env bash
# The main job: render a few seconds of the built-in sine and describe the file.
set -euo pipefail
frisson=$1
out=$2
mkdir -p "$out"
"$frisson" render -o "$out/demo.wav" --seconds 5 --stream sound=sine
"$frisson" info "$out/demo.wav"
echo "Rendered $out/demo.wav"
