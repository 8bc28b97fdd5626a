#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the player needs.
# Idempotent: when everything is there it only checks and returns.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools
  libmpg123-dev libsndfile1-dev libsdl2-dev libpulse-dev libjpeg-dev
  # fuzzing
  clang-14 libclang-rt-14-dev
  # package checks: Debian's package checker and the AppStream validator
  lintian appstream
  # fonts the windows ask for (metric-compatible faces with Cyrillic)
  fonts-dejavu-core fonts-liberation2
  # tests: a display, fixtures, a private session bus, packaging checks
  xvfb xauth x11-utils xdotool python3 procps imagemagick lame sox libsox-fmt-mp3 dbus desktop-file-utils dpkg-dev file
  # tests against a private sound server, recorded from its null sink's monitor
  pulseaudio pulseaudio-utils
  # tests on a real desktop: a window manager, an XEmbed tray, the X client library
  openbox tint2 libxcb1-dev
  # tests: the accessibility bus and a client for it
  at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
