#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, tries both
# programs from /usr/bin, takes a screenshot of the window with a photo
# loaded, and removes the package again. It changes this machine's packages
# (as root, or through sudo), so neither the tests nor CI run it.
#
# Usage: scripts/check-package.sh [SCREENSHOT.png]   (default: build/package-screenshot.png)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
shot=$(realpath -m "${1:-build/package-screenshot.png}")
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
fail() { echo "check-package: FAIL: $*" >&2; exit 1; }
step() { echo; echo "== $*"; }

step "Building the package"
make package
deb=$(ls -t build/vestra_*_amd64.deb | head -n 1)
dpkg-deb --field "$deb" Package Version Section Depends

step "Installing $deb"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
[ -x /usr/bin/vestra ] && [ -x /usr/bin/vestra-tag ] || fail "the programs are not in /usr/bin"

step "The programs"
/usr/bin/vestra --version
/usr/bin/vestra-tag --version
vestra-tag --help | head -n 4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/Trip"
cp /usr/share/icons/hicolor/256x256/apps/vestra.png "$scratch/Trip/photo.png"
exiftool -q -overwrite_original -DateTimeOriginal="2024:05:01 10:00:00" "$scratch/Trip/photo.png"
report=$(vestra-tag --dry-run --position "47.37, 8.54" "$scratch/Trip") || fail "vestra-tag fails: $report"
echo "$report"
grep -q "would write 47.37000000, 8.54000000" <<<"$report" || fail "vestra-tag does not read photos"

step "Manual pages"
for page in vestra vestra-tag; do
  MANWIDTH=80 MANPAGER=cat man -l "/usr/share/man/man1/$page.1.gz" | head -n 8
done

step "The window, under a virtual display"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  /usr/bin/vestra "$1" &
  window=$!
  sleep 6
  kill -0 "$window" || exit 1
  import -window root "$2"
  kill "$window"
  wait "$window" || true
' window "$scratch/Trip" "$shot" || fail "the window did not stay up"
echo "screenshot: $shot"

step "Removing the package"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vestra
[ ! -e /usr/bin/vestra ] || fail "/usr/bin/vestra is still there"
[ ! -e /usr/bin/vestra-tag ] || fail "/usr/bin/vestra-tag is still there"
echo
echo "check-package: all passed"
