#!/usr/bin/env bash
# Runs every fuzz target built in $1 for a bounded time. A target with a seed
# corpus in the repository (fuzz/corpus/<target>/: small valid files and the
# inputs that once failed) starts from it; the others start from valid sound
# files made by sox, so the fuzzer starts from real layouts.
set -euo pipefail
build=$1
seeds=$(cd "$(dirname "$0")/../fuzz/corpus" && pwd)
seconds=${FUZZ_SECONDS:-60}
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
[ ${#targets[@]} -eq 0 ] && { echo "no fuzz targets"; exit 0; }
corpus=$build/corpus
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  sox -n -r 8000 -c 1 -b 16 "$corpus/s16.wav" synth 0.01 sine 440
  sox -n -r 8000 -c 2 -b 24 "$corpus/s24.wav" synth 0.01 sine 440
  sox -n -r 8000 -c 1 -e floating-point -b 32 "$corpus/f32.wav" synth 0.01 sine 440
  sox -n -r 8000 -c 2 -b 16 "$corpus/s16.aiff" synth 0.01 sine 440
  sox -n -r 8000 -c 1 -e u-law "$corpus/ulaw.wav" synth 0.01 sine 440
  sox -n -r 8000 -c 1 -e a-law "$corpus/alaw.wav" synth 0.01 sine 440
fi
scratch=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
for t in "${targets[@]}"; do
  echo "fuzzing $(basename "$t") for ${seconds}s"
  work=$(mktemp -d)
  if [ -d "$seeds/$(basename "$t")" ]; then
    cp "$seeds/$(basename "$t")"/* "$work"/
  else
    cp "$corpus"/* "$work"/
  fi
  log=$(mktemp)
  # The file-format targets write their files below TMPDIR: on tmpfs, their
  # syncs cost nothing.
  if ! TMPDIR=$scratch "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$work" >"$log" 2>&1; then
    tail -n 60 "$log"
    rm -rf "$work" "$log"
    echo "$(basename "$t") failed"
    exit 1
  fi
  tail -n 3 "$log"
  rm -rf "$work" "$log"
done
