#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that a desktop finds
# the program, its entry, metadata and icons, and that the window and the
# terminal tool find ExifTool.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
[ -x "$prefix/bin/vestra" ] || fail "bin/vestra missing"
[ "$(readlink -f "$prefix/bin/vestra")" = "$(readlink -f "$prefix"/lib*/vestra/bin/vestra)" ] || fail "bin/vestra does not lead to the bundle"
[ -x "$prefix/bin/vestra-tag" ] || fail "bin/vestra-tag missing"
[ "$(readlink -f "$prefix/bin/vestra-tag")" = "$(readlink -f "$prefix"/lib*/vestra/bin/vestra-tag)" ] || fail "bin/vestra-tag does not lead to the bundle"
tool=$(echo "$prefix"/lib*/vestra/Resources/exiftool/exiftool)
[ -e "$tool" ] || fail "ExifTool link missing"
perl "$tool" -ver >/dev/null || fail "ExifTool does not run through the link"
entry="$prefix/share/applications/io.github.vestra.Vestra.desktop"
[ -f "$entry" ] || fail "desktop entry missing"
grep -q '^Exec=vestra %F$' "$entry" || fail "desktop entry does not take files"
grep -q '^MimeType=.*image/jpeg;' "$entry" || fail "desktop entry lacks image types"
for icon in {16x16,32x32,48x48,64x64,128x128,256x256}/apps/vestra.png scalable/apps/vestra.svg; do
  [ -f "$prefix/share/icons/hicolor/$icon" ] || fail "icon $icon missing"
done
[ -f "$prefix/share/metainfo/io.github.vestra.Vestra.metainfo.xml" ] || fail "AppStream metadata missing"
[ -f "$prefix/share/bash-completion/completions/vestra-tag" ] || fail "bash completion missing"
for page in vestra vestra-tag; do
  [ -f "$prefix/share/man/man1/$page.1.gz" ] || fail "manual page of $page missing"
done
# The terminal tool, started through its link, reads a photo through ExifTool.
cp "$prefix/share/icons/hicolor/256x256/apps/vestra.png" "$prefix/photo.png"
report=$("$prefix/bin/vestra-tag" --dry-run --position "1, 2" "$prefix/photo.png") || fail "vestra-tag fails from the bundle"
grep -q "would write 1.00000000, 2.00000000" <<<"$report" || fail "vestra-tag does not read photos from the bundle"
echo "1 passed, 0 failed"
