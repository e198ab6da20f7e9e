#!/usr/bin/env bash
# Runs the whole test suite again and again to catch tests that fail by
# chance: RUNS times on a quiet machine, then BUSY_RUNS times while
# stress-ng keeps the cores and the disk busy. Prints how often each test
# program ran and failed, and whether any run left an ExifTool child or a
# file in the temporary folder behind. Not part of CI.
#   scripts/shake-tests.sh [builddir]     (RUNS=10 BUSY_RUNS=5 by default)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-10}
busy_runs=${BUSY_RUNS:-5}
jobs=$(nproc)

make -s build BUILD="$build" >/dev/null || { echo "build failed" >&2; exit 2; }
command -v stress-ng >/dev/null || scripts/setup.sh stress-ng

log=$(mktemp -d)
stress_pid=
cleanup() {
  [ -n "$stress_pid" ] && kill "$stress_pid" 2>/dev/null && wait "$stress_pid" 2>/dev/null
  rm -rf "$log"
}
trap cleanup EXIT

orphans() {
  ps -eo pid=,ppid=,args= | awk '$2 == 1 && /exiftool/ && /stay_open/'
}
# What the tests would leave: Qt's temporary folders and files are named
# after the program; other programs' files on a shared machine are not ours.
tmp_listing() {
  find "${TMPDIR:-/tmp}" -mindepth 1 -maxdepth 1 -newer "$log/start" 2>/dev/null | grep -v "^$log" |
    grep -E '/(tst_|bench_|qt_temp|vestra|Vestra|.*exiftool)' | sort
}

one_run() {
  local label=$1
  local out=$log/$label.txt
  (cd "$build" && QT_QPA_PLATFORM=offscreen ctest -j "$jobs" --output-on-failure >"$out" 2>&1)
  grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$out" |
    sed -E 's/^.*Test +#[0-9]+: ([^ ]+) .*(Passed|Failed|Timeout|Exception|Not Run).*$/\1 \2/' >>"$log/results"
  if grep -qE '(Failed|Timeout|Exception)' "$out"; then
    echo "== $label: failures"
    grep -E '^ *[0-9]+/[0-9]+ Test .*(Failed|Timeout|Exception)' "$out"
    grep -E '^(FAIL!|   Loc:|   Actual|   Expected)' "$out" | head -20
    cp "$out" "$build/shake-$label.log"
  else
    echo "== $label: all passed"
  fi
  local left
  left=$(orphans)
  [ -n "$left" ] && echo "   ExifTool children left running:" && echo "$left" && echo "$left" >>"$log/orphans"
  left=$(tmp_listing)
  [ -n "$left" ] && echo "   left in the temporary folder:" && echo "$left" && echo "$left" >>"$log/leftovers"
}

touch "$log/start"
: >"$log/results"
for i in $(seq 1 "$runs"); do one_run "quiet-$i"; done
stress-ng --cpu 2 --io 1 --quiet &
stress_pid=$!
for i in $(seq 1 "$busy_runs"); do one_run "busy-$i"; done
kill "$stress_pid" 2>/dev/null; wait "$stress_pid" 2>/dev/null; stress_pid=

echo
echo "program                  runs  failed"
awk '{ runs[$1]++; if ($2 != "Passed") failed[$1]++ }
     END { for (t in runs) printf "%-24s %4d  %6d\n", t, runs[t], failed[t] }' "$log/results" | sort
bad=$(awk '$2 != "Passed"' "$log/results" | wc -l)
[ -s "$log/orphans" ] && { echo "ExifTool children were left running."; bad=$((bad + 1)); }
[ -s "$log/leftovers" ] && { echo "Files were left in the temporary folder."; bad=$((bad + 1)); }
[ "$bad" -eq 0 ] && echo "No failure in $((runs + busy_runs)) runs." || exit 1
