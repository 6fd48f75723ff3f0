#!/usr/bin/env bash
# Cross-builds the Windows power backend with mingw-w64 and runs its tests under Wine.
# Needs the packages of scripts/setup.sh. Usage: scripts/test-windows.sh [build-dir]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/windows}

for tool in x86_64-w64-mingw32-g++ wine wineboot wineserver; do
  command -v "$tool" >/dev/null || {
    echo "test-windows: $tool missing; run scripts/setup.sh" >&2
    exit 1
  }
done

cmake -S "$root/tests/windows" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 300 -j "$(nproc)"
