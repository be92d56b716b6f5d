#!/usr/bin/env bash
# Installs the Debian packages that building, playing and testing Quadix need,
# only those that are missing. Runs as root, or through sudo.
#   tools/install-deps.sh           what tools/test.sh, tools/play.sh and tools/benchmark.sh need
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libsdl2-dev
  fonts-dejavu-core          # stands in for Verdana
  desktop-file-utils appstream python3
  xvfb xauth imagemagick     # screenshots, the benchmark and the screen read back in tests, under a real X server
  libx11-dev                 # the benchmark reads the screen back through Xlib (and libxcb1-dev with it, for its floor)
  libxdamage-dev libpulse-dev  # the benchmark's pictures (X damage reports) and its recording of the sound server
  weston qt6-wayland         # a game played on Wayland, under a headless compositor
  dbus-daemon at-spi2-core python3-pyatspi  # what a screen reader hears, on a private accessibility bus
  pulseaudio pulseaudio-utils  # a sound server of the tests' and the benchmark's own, nothing but a pipe or a null sink
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
