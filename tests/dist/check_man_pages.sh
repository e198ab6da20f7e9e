#!/usr/bin/env bash
# Each manual page renders without a single groff warning and names its
# program.
set -euo pipefail
pages=$1
fail() { echo "FAIL: $*"; exit 1; }

for program in vestra vestra-tag; do
  page=$pages/$program.1.gz
  [ -f "$page" ] || fail "$page missing"
  warnings=$(MANWIDTH=80 MANPAGER=cat man --warnings -l "$page" 2>&1 >/dev/null) || fail "man fails on $page"
  [ -z "$warnings" ] || fail "$program.1: $warnings"
  MANWIDTH=80 MANPAGER=cat man -l "$page" | grep -q "^ *$program - " || fail "$program.1 does not name $program"
done
echo "1 passed, 0 failed"
