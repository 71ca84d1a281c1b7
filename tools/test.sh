#!/bin/sh
# Builds every preset and runs every test; exits non-zero when any test fails.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh test
for preset in win32 win64 native; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
ctest --preset native
