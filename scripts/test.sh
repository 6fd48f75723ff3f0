#!/usr/bin/env bash
# Installs what Quorvel needs, builds it and runs every test: the debug build with warnings as
# errors, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer (with the
# fuzzers), the Windows program cross-built with its tests run under Wine (Qt for Windows is
# built once per machine), and the Debian package built, checked, installed, used and purged.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

# The tests stay lean: their non-blank lines at most 40 % of the program's.
lines() { git ls-files -z "$1" | xargs -0 cat | grep -cv '^[[:space:]]*$'; }
src=$(lines src) tests=$(lines tests)
echo "test: tests/ has $tests non-blank lines, src/ $src ($((100 * tests / src)).$((1000 * tests / src % 10)) %)"
if ((100 * tests > 40 * src)); then
    echo "test: tests/ is more than 40 % of src/" >&2
    exit 1
fi

scripts/setup.sh test
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

cmake --preset dev
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

scripts/build-windows.sh
tests/package/check.sh
echo "test: all suites passed"
