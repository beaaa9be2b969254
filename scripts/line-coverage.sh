#!/usr/bin/env bash
# Line coverage of the libraries by the test suite, with gcov through gcovr:
#   scripts/line-coverage.sh [BUILD_DIR]
# With LAYERS set (a ctest label pattern such as 'shell|gui'), only those layers' test programs are
# built and run, which shows the lines one layer's suite covers.
# Builds the tests with --coverage (Debug, no optimisation; counters updated atomically, as the
# engine renders streams on helper threads) in BUILD_DIR (build/coverage), runs them, and prints
# the covered share of the lines of every library folder (tests, benchmarks, fuzz targets and the
# program's main left out).
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$source_dir/build/coverage}
jobs=${JOBS:-$(nproc)}

command -v gcovr >/dev/null || { echo "gcovr is not installed (package gcovr)" >&2; exit 1; }
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFRISSON_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
targets=()
select=()
if [[ -n ${LAYERS:-} ]]; then
  # A layer's test programs are named after it: shell_tests, output_jack_tests, ...
  mapfile -t targets < <(cmake --build "$build_dir" --target help | sed -n 's/^\([a-z]*_[a-z_]*tests\):.*/\1/p' |
    grep -E "^(${LAYERS})_")
  # The program itself, for the suites that run it.
  [[ gui =~ ^(${LAYERS})$ || app =~ ^(${LAYERS})$ ]] && targets+=(frisson)
  targets=(--target "${targets[@]}")
  select=(-L "^(${LAYERS})\$")
fi
cmake --build "$build_dir" -j "$jobs" "${targets[@]}"
find "$build_dir" -name '*.gcda' -delete
# Timed tests may miss on a loaded machine: the failed ones run once more.
if ! ctest --test-dir "$build_dir" "${select[@]}" -j "$jobs" --output-on-failure >"$build_dir/ctest.log" 2>&1; then
  ctest --test-dir "$build_dir" "${select[@]}" --rerun-failed --output-on-failure >"$build_dir/ctest-rerun.log" 2>&1 ||
    { tail -20 "$build_dir/ctest-rerun.log" >&2; exit 1; }
fi
grep -h "tests passed" "$build_dir"/ctest*.log
cd "$source_dir"
gcovr --root "$source_dir" --object-directory "$build_dir" \
  --filter "$source_dir/(audio|sounds|engine|output|midi|patches|shell|platform|gui)/" \
  --exclude-unreachable-branches --print-summary --sort-percentage -j "$jobs" "$build_dir" |
  tail -n 15
