#!/usr/bin/env bash
# Builds Quorvel for 64-bit Windows: a static Qt from Debian's own Qt source (once per machine,
# kept in ~/.cache), then quorvel.exe and its tests, which run under Wine, then the zip.
# The last line of output is the zip's path.
# Usage: scripts/build-windows.sh [--qt-only] [--no-tests]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

qt_only=0
tests=1
for arg in "$@"; do
  case $arg in
    --qt-only) qt_only=1 ;;
    --no-tests) tests=0 ;;
    *) echo "usage: $0 [--qt-only] [--no-tests]" >&2; exit 2 ;;
  esac
done

fail() {
  echo "build-windows: $*" >&2
  exit 1
}

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

scripts/setup.sh windows

# The same Qt as the host tools that the cross build runs (moc, rcc, uic).
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
# Built for size: one .exe with all of Qt inside. Only what Quorvel uses: Core, Gui, Widgets, Network (the local socket), Test and the Windows
# platform plugin. Debian's source has no tablet (wintab) headers; 6.4.2's qwindowswindow.cpp
# needs dynamicgl off once OpenGL is off; without Direct2D, 6.4.2 builds no DirectWrite font
# database but its platform plugin asks for one unless directwrite3 is off too (fonts then come
# through GDI, which also draws them best under Wine).
qt_options=(
  -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_ssl=OFF -DFEATURE_schannel=OFF -DFEATURE_openssl=OFF -DFEATURE_networklistmanager=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  -DFEATURE_graphicsview=OFF -DFEATURE_mdiarea=OFF -DFEATURE_dial=OFF -DFEATURE_lcdnumber=OFF
  -DFEATURE_splashscreen=OFF -DFEATURE_wizard=OFF -DFEATURE_fontdialog=OFF
  -DFEATURE_colordialog=OFF -DFEATURE_undoview=OFF -DFEATURE_keysequenceedit=OFF
  -DFEATURE_columnview=OFF
)
# The cache is keyed by the version, the options and the toolchain file, so a change in any of
# them builds afresh; a build that did not finish is never renamed into place.
key=$(printf '%s\n' "$qt_version" "${qt_options[@]}" | cat - "$toolchain" | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel
qt=$cache/qt-${qt_version%%+*}-mingw64-static-$key

build_qt() {
  local work=$cache/work-$key
  rm -rf "$work" "$qt.partial"
  mkdir -p "$work"
  # apt's own archive entry, for sources: no archive address is written here.
  if [ -z "$(apt-cache showsrc qt6-base 2>/dev/null)" ]; then
    local list=/etc/apt/sources.list.d/debian.sources
    [ -f "$list" ] || fail "no $list to copy the source entry from"
    awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == 1' "$list" |
      sed 's/^Types: deb$/Types: deb-src/' |
      "${as_root[@]}" tee /etc/apt/sources.list.d/quorvel-sources.sources >/dev/null
    "${as_root[@]}" apt-get update -q >/dev/null || fail "apt-get update failed"
  fi
  echo "build-windows: fetching Qt $qt_version's source (apt-get source qt6-base)"
  (cd "$work" && apt-get source -q qt6-base="$qt_version" >source.log 2>&1) ||
    { tail -20 "$work/source.log" >&2; fail "cannot fetch Qt's source: see above"; }
  local src
  src=$(find "$work" -maxdepth 1 -type d -name "qt6-base-*" | head -1)
  [ -n "$src" ] || fail "apt-get source left no qt6-base folder in $work"

  echo "build-windows: configuring Qt for mingw-w64 (log: $work/configure.log)"
  local start=$SECONDS
  cmake -G Ninja -S "$src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt.partial" "${qt_options[@]}" >"$work/configure.log" 2>&1 ||
    { tail -30 "$work/configure.log" >&2; fail "Qt's configure failed: see above"; }
  echo "build-windows: building Qt (about half an hour on 2 cores; log: $work/build.log)"
  cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 ||
    { grep -m5 -B2 -A10 'error' "$work/build.log" >&2 || tail -30 "$work/build.log" >&2
      fail "Qt's build failed: see above"; }
  cmake --install "$work/build" >"$work/install.log" 2>&1 ||
    { tail -30 "$work/install.log" >&2; fail "Qt's install failed: see above"; }
  echo "$((SECONDS - start)) s" >"$qt.partial/build-seconds"
  mv "$qt.partial" "$qt"
  rm -rf "$work"
  echo "build-windows: Qt built in $(cat "$qt/build-seconds"), $(du -sh "$qt" | cut -f1) in $qt"
}

# A failed or interrupted Qt build leaves nothing that looks finished, and of its work only the
# logs.
trap 'rm -rf "$qt.partial"
      [ ! -d "$cache/work-$key" ] ||
        find "$cache/work-$key" -mindepth 1 -maxdepth 1 ! -name "*.log" -exec rm -rf {} +' EXIT
if [ -x "$qt/bin/qt-cmake" ]; then
  echo "build-windows: Qt $qt_version for Windows from the cache: $qt"
else
  build_qt
fi
trap - EXIT
[ "$qt_only" -eq 0 ] || exit 0

# Quorvel itself, with the same warnings as errors as on Linux.
build=$root/build/windows
version=$(sed -n 's/^project(Quorvel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
testing=OFF
[ "$tests" -eq 0 ] || testing=ON
"$qt/bin/qt-cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DQUORVEL_WERROR=ON -DQUORVEL_BUILD_TESTS=$testing >"$build.configure.log" 2>&1 ||
  { tail -30 "$build.configure.log" >&2; fail "configuring Quorvel for Windows failed"; }
cmake --build "$build" -j "$(nproc)" || fail "building Quorvel for Windows failed"
if [ "$tests" -eq 1 ]; then
  ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" ||
    fail "the Windows tests failed under Wine"
fi

exe=$build/src/quorvel.exe
x86_64-w64-mingw32-strip -o "$build/quorvel.exe" "$exe"
mkdir -p "$root/dist"
zip=$root/dist/quorvel-$version-win64.zip
rm -f "$zip"
(cd "$build" && zip -q -9 "$zip" quorvel.exe)
echo "build-windows: quorvel.exe $(du -k "$build/quorvel.exe" | cut -f1) KiB; imports:" \
  "$(x86_64-w64-mingw32-objdump -p "$build/quorvel.exe" | sed -n 's/^\tDLL Name: //p' | sort | tr '\n' ' ')"
echo "$zip"
