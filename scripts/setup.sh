#!/usr/bin/env bash
# Installs the Debian packages Vestra needs to build, run and test.
# Quiet and quick when everything is already there. Extra package names
# given as arguments are installed too (scripts that need more than the
# build and the tests).
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5webkit5-dev libqt5svg5-dev
  qt5-image-formats-plugins
  libmarble-dev marble-data marble-plugins
  libimage-exiftool-perl perl
  libgeonames-dev libgeonames-common
  fonts-freefont-ttf
  xvfb xauth imagemagick
  locales
  desktop-file-utils appstream help2man man-db groff-base bash-completion
  dpkg-dev file
  gpsbabel rapidjson-dev zlib1g-dev
  libheif-examples kimageformat-plugins
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
