#!/usr/bin/env bash
# Measures the release build on a private desktop: start-up, wake-ups, firing lag (minutes).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh test >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
binary=$root/build/release/src/quorvel
for measure in startup wakeups firing reminder; do
  /usr/bin/python3 -W ignore bench/bench.py "$measure" "$binary"
done
