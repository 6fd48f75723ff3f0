#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quorvel needs.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcanberra-dev libsndfile1-dev libxcb-xfixes0-dev libwayland-dev
  # run
  qt6-qpa-plugins qt6-wayland libcanberra-pulse fonts-wqy-zenhei xdg-utils
  # test: X server, window manager, tray, accessibility
  xvfb xauth x11-utils xdotool openbox trayer imagemagick
  at-spi2-core python3-pyatspi python3-gi
  # test: a Wayland compositor
  weston
  # test: private D-Bus daemons with mocked services
  dbus dbus-x11 python3-dbusmock
  # test: a private sound server and sound tools
  pulseaudio pulseaudio-utils sox
  # test: fuzzing and sanitizers
  clang-14 libclang-rt-14-dev
  # test: the Windows backend, cross-compiled and run under Wine, on doctest
  g++-mingw-w64-x86-64 wine64 wine doctest-dev
  # the Debian package and its checks
  build-essential debhelper dpkg-dev lintian appstream desktop-file-utils
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
