#!/bin/sh
# Builds every preset and runs every test: the unit tests, the inspection of
# the 32-bit DLL and the Wine end-to-end scenarios, then the unit tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero when
# any test fails.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh test
for preset in win32 win64 native native-asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
ctest --preset native-asan
ctest --preset native
