#!/bin/sh
# Builds every preset and runs every test: the unit tests, the inspection of
# the 32-bit DLL and the Wine end-to-end scenarios, then the unit tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero when
# any test fails.
#
# VELKAR_WINE32=qemu runs the 32-bit Wine through QEMU's user mode even on a
# machine whose kernel runs 32-bit programs itself; VELKAR_WINE32=native
# switches QEMU's entries off for the run, where the kernel can. Either is
# undone when the tests end (as root, since binfmt_misc is the kernel's).
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh test
. tools/wine32-way.sh
if [ -n "${VELKAR_WINE32:-}" ]; then
    trap restore_wine32_way EXIT
    trap 'exit 130' INT TERM
    use_wine32_way "$VELKAR_WINE32" || { echo "VELKAR_WINE32=$VELKAR_WINE32 cannot be had here." >&2; exit 1; }
fi
echo "32-bit programs run $(wine32_way)."
for preset in win32 win64 native native-asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
ctest --preset native-asan
ctest --preset native
echo "32-bit programs ran $(wine32_way)."
