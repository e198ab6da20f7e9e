#!/usr/bin/env bash
# Runs every benchmark program of a build: scripts/run-benchmarks.sh <builddir>
set -euo pipefail

build=${1:?usage: $0 <builddir>}
export QT_QPA_PLATFORM=offscreen

shopt -s nullglob
benchmarks=("$build"/bin/bench_*)
if [ ${#benchmarks[@]} -eq 0 ]; then
  echo "No benchmarks in $build/bin (configure with -DVESTRA_BENCH=ON)." >&2
  exit 1
fi

status=0
for bench in "${benchmarks[@]}"; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" || { echo "$(basename "$bench") failed" >&2; status=1; }
done
exit $status
