#!/usr/bin/env bash
# Installs the Debian packages for one purpose, with sudo when not root:
#   run      build and run Quorvel (compiler, CMake, Qt, sound, fonts, Wayland, xdg-utils)
#   windows  build the Windows program and try it under Wine (mingw-w64, Wine, Qt's host tools)
#   test     all of it, plus what the tests drive: X and Wayland servers, private buses,
#            a private sound server, sanitizers and fuzzers, the Debian package's tools
# Safe to run again: only missing packages are installed, after an apt-get update.
set -euo pipefail

purpose=${1:-test}

run=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcanberra-dev libsndfile1-dev libxcb-xfixes0-dev libwayland-dev
  qt6-qpa-plugins qt6-wayland fonts-wqy-zenhei xdg-utils
)
# libcanberra's output to the machine's PulseAudio or PipeWire server; on a machine with neither
# (a bare container) it would bring all of PulseAudio, and canberra's ALSA output serves there.
if dpkg-query -W -f='${Status}\n' pulseaudio pipewire-pulse 2>/dev/null | grep -q "install ok installed"; then
  run+=(libcanberra-pulse)
fi
windows=(
  cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools dpkg-dev zip
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine librsvg2-bin fonts-droid-fallback
  # its journey runs on the tests' private desktop
  xvfb xauth x11-utils xdotool openbox trayer imagemagick at-spi2-core dbus python3-dbusmock
)
test=(
  "${run[@]}" "${windows[@]}" clang-format git
  # X server, window manager, tray, accessibility
  xvfb xauth x11-utils xdotool openbox trayer imagemagick
  at-spi2-core python3-pyatspi python3-gi
  # a Wayland compositor
  weston
  # private D-Bus daemons with mocked services
  dbus dbus-x11 python3-dbusmock
  # a private sound server and sound tools
  pulseaudio pulseaudio-utils libcanberra-pulse sox
  # fuzzing and sanitizers
  clang-14 libclang-rt-14-dev
  # the Debian package and its checks
  build-essential debhelper dpkg-dev lintian appstream desktop-file-utils
)

case $purpose in
  run) packages=("${run[@]}") ;;
  windows) packages=("${windows[@]}") ;;
  test) packages=("${test[@]}") ;;
  *) echo "usage: $0 run|windows|test" >&2; exit 2 ;;
esac

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup ($purpose): all packages present"
  exit 0
fi

echo "setup ($purpose): installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
