#!/usr/bin/env bash
# Both programs name their version and the ExifTool they use, the window
# without a display; one that finds no ExifTool says so and still succeeds.
set -euo pipefail
bin=$1
version=$2
fail() { echo "FAIL: $*"; exit 1; }

for program in vestra vestra-tag; do
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/$program" --version) ||
    fail "$program --version fails"
  [[ $said =~ ^"$program $version"$'\n'ExifTool\ [0-9]+\.[0-9]+$ ]] || fail "$program --version says: $said"
done

# Away from the build tree's ExifTool link, with nothing on the search path.
alone=$(mktemp -d)
trap 'rm -rf "$alone"' EXIT
cp "$bin/vestra-tag" "$alone/"
said=$(PATH=/nonexistent "$alone/vestra-tag" --version) || fail "vestra-tag --version fails without ExifTool"
[ "$said" = "vestra-tag $version"$'\n'"ExifTool not found" ] || fail "without ExifTool: $said"
echo "1 passed, 0 failed"
