#!/usr/bin/env bash
# The bash completion of vestra-tag knows every long option its --help
# prints, and offers the values, zones and files the options take.
set -uo pipefail
program=$1
script=$2
fail() { echo "FAIL: $*"; exit 1; }

missing=$(comm -23 <("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u) \
  <(grep -o -- '--[a-z][a-z-]*' "$script" | sort -u))
[ -z "$missing" ] || fail "the completion lacks" $missing

source /usr/share/bash-completion/bash_completion || fail "bash-completion is not installed"
source "$script"

# What completing the end of the line offers; bash splits "--opt=value" at the "=".
offers() {
  local word
  COMP_LINE=$1
  COMP_POINT=${#1}
  COMP_WORDS=()
  for word in $1; do
    if [[ $word == *=* ]]; then
      COMP_WORDS+=("${word%%=*}" = "${word#*=}")
    else
      COMP_WORDS+=("$word")
    fi
  done
  [[ $1 == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vestra_tag vestra-tag "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}" 2>/dev/null
  echo " ${COMPREPLY[*]-} "
}
expect() {
  local got
  got=$(offers "$1")
  [[ $got == *" $2 "* ]] || fail "\"$1\" offers [$got], not $2"
}

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
mkdir "$files/photos"
touch "$files/trip.gpx"

expect "vestra-tag --camera-z" --camera-zone
expect "vestra-tag --mode cl" closest
expect "vestra-tag --format=j" json
expect "vestra-tag --camera-zone lo" local
expect "vestra-tag --gpx $files/tr" "$files/trip.gpx"
expect "vestra-tag -r $files/ph" "$files/photos"
[ "$(offers "vestra-tag --max-diff ")" = "  " ] || fail "--max-diff offers values"
timedatectl() { printf 'Europe/Berlin\nEurope/Busingen\n'; }
expect "vestra-tag --camera-zone Europe/Be" Europe/Berlin
expect "vestra-tag --camera-zone U" UTC
# Without a running systemd the zones come from the zone files.
timedatectl() { return 1; }
expect "vestra-tag --camera-zone Asia/Kolk" Asia/Kolkata
echo "1 passed, 0 failed"
