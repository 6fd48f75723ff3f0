#!/usr/bin/env bash
# Measures start-up, clock precision and firing lag on this machine (a few minutes).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset dev >/dev/null
cmake --build --preset dev >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
py=/usr/bin/python3
echo "== start-up (release build)"
$py tests/bench/bench_startup.py build/release/src/quorvel
echo "== clock caption lag"
QT_QPA_PLATFORM=offscreen build/dev/tests/bench/bench_clock 60 | tail -n 1
echo "== firing lag (release build)"
$py tests/bench/bench_firing.py build/release/src/quorvel 20 | tail -n 1
echo "== a running task for a minute (release build)"
$py tests/bench/bench_running.py build/release/src/quorvel 60 | tail -n 2
