#!/usr/bin/env bash
# Grain-frames per CPU second of two or more builds of bench_engine, side by side:
#   bench/engine/compare_builds.sh FILTER ROUNDS BENCH_ENGINE...
# Runs the builds one after the other, ROUNDS times over, and prints each benchmark's best round per
# build (the least disturbed on a shared machine) and the last build's ratio to the first.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 FILTER ROUNDS BENCH_ENGINE..." >&2; exit 2; }
filter=$1 rounds=$2
shift 2
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for _ in $(seq "$rounds"); do
  for bench in "$@"; do
    "$bench" --benchmark_filter="$filter" --benchmark_min_time=0.1 --benchmark_format=csv 2>/dev/null |
      grep '^"' | sed "s|^|$bench,|" >>"$results"
  done
done
python3 - "$results" "$@" <<'PY'
import csv, sys
best, names = {}, []
rows = list(csv.reader(open(sys.argv[1])))
for row in rows:
    build, name = row[0], row[1]
    if name not in names:
        names.append(name)
    # Counters close the row: Mgrain_frames/s, grains, rt_factor.
    best[build, name] = max(best.get((build, name), 0.0), float(row[-3]))
builds = sys.argv[2:]
print("benchmark".ljust(40), *(f"build {i + 1}".rjust(9) for i in range(len(builds))), "last/first")
for name in names:
    values = [best.get((b, name), 0.0) for b in builds]
    ratio = values[-1] / values[0] if values[0] else float("nan")
    print(name.ljust(40), *(f"{v:9.0f}" for v in values), f"{ratio:10.2f}")
PY
