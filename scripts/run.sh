#!/usr/bin/env bash
# Installs what Quorvel needs, builds it and starts it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh run
cmake --preset release
cmake --build --preset release
exec build/release/src/quorvel
