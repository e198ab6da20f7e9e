#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that a desktop finds
# the program, its entry and icon, and that the program finds ExifTool.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
[ -x "$prefix/bin/vestra" ] || fail "bin/vestra missing"
[ "$(readlink -f "$prefix/bin/vestra")" = "$(readlink -f "$prefix"/lib*/vestra/bin/vestra)" ] || fail "bin/vestra does not lead to the bundle"
tool=$(echo "$prefix"/lib*/vestra/Resources/exiftool/exiftool)
[ -e "$tool" ] || fail "ExifTool link missing"
perl "$tool" -ver >/dev/null || fail "ExifTool does not run through the link"
entry="$prefix/share/applications/vestra.desktop"
[ -f "$entry" ] || fail "desktop entry missing"
grep -q '^Exec=vestra %F$' "$entry" || fail "desktop entry does not take files"
grep -q '^MimeType=.*image/jpeg;' "$entry" || fail "desktop entry lacks image types"
[ -f "$prefix/share/icons/hicolor/256x256/apps/vestra.png" ] || fail "icon missing"
echo "1 passed, 0 failed"
