#!/usr/bin/env bash
# Installs the Debian packages the player needs. `setup.sh --run`: only what
# building and running it take; `setup.sh` (the test command's): those and the
# whole test tool chain. Idempotent: when everything is there it only checks and returns.
set -euo pipefail

run_packages=(
  # build
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools
  libmpg123-dev libsndfile1-dev libsdl2-dev libpulse-dev libpipewire-0.3-dev libjpeg-dev libwayland-dev
  # native on a Wayland session (without it Qt falls back to XWayland)
  qt6-wayland
  # fonts the windows ask for (metric-compatible faces with Cyrillic)
  fonts-dejavu-core fonts-liberation2
  # Qt's own texts in Russian (the folder chooser, the boxes' buttons)
  qt6-translations-l10n
)
test_packages=(
  # fuzzing: the release's own clang and its sanitizer and libFuzzer runtimes
  clang libclang-rt-dev
  # package checks: Debian's package checker and the AppStream validator, and git,
  # which takes the committed sources out of the clone
  lintian appstream git
  # tests: a display, fixtures, a private session bus, packaging checks
  xvfb xauth x11-utils xdotool python3 procps imagemagick lame sox libsox-fmt-mp3 dbus desktop-file-utils dpkg-dev file
  # tests and the opening benchmark on slow storage of their own (a FUSE file system)
  libfuse3-dev
  # tests against a private sound server, recorded from its null sink's monitor
  pulseaudio pulseaudio-utils
  # the same against a private PipeWire server, its session manager and its PulseAudio service
  pipewire pipewire-bin wireplumber pipewire-pulse
  # tests on a real desktop: a window manager, an XEmbed tray, the X client library
  openbox tint2 libxcb1-dev
  # tests: the accessibility bus and a client for it
  at-spi2-core python3-pyatspi
  # tests on Wayland: a headless compositor, with XWayland for the X11 path
  weston xwayland
  # tests on the desktops people run: sway (headless, pictures by grim), the dark themes;
  # GTK's platform theme also for Wayland with GNOME's dialogs
  sway grim xfwm4 xfce4-panel kwin-wayland qt6-gtk-platformtheme gnome-themes-extra
  # KWin's own title bars, as Plasma draws them; GNOME's compositor, its screen cast
  # read through PipeWire by GStreamer (videoconvert, pngenc)
  kwin-style-breeze mutter gstreamer1.0-tools gstreamer1.0-pipewire gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good
)
# Test packages not every release has (the Adwaita-Dark style): installed where known.
optional_test_packages=(adwaita-qt6)

packages=("${run_packages[@]}")
case "${1:-}" in
  --run) ;;
  "")
    packages+=("${test_packages[@]}")
    for p in "${optional_test_packages[@]}"; do
      apt-cache show "$p" >/dev/null 2>&1 && packages+=("$p")
    done
    ;;
  *) echo "usage: setup.sh [--run]" >&2; exit 2 ;;
esac

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
