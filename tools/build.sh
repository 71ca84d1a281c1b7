#!/bin/sh
# The main job: builds the shipping 32-bit plug-in and its release (the ZIP,
# the setup program and their checksums in dist/, signed when a certificate
# is given), then shows that DLL working under Wine (the 64-bit twin builds
# beside it: the messenger stand-in and the second target of the Wine tests).
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh build
if [ -z "${VELKAR_SIGNING_CERTIFICATE:-}" ]; then
    echo "Not signing: VELKAR_SIGNING_CERTIFICATE (a PKCS#12 file) is not set."
fi
sh tools/release.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
echo
echo "Built build/win32/velkar.dll ($(wc -c < build/win32/velkar.dll) bytes),"
echo "dist/velkar-$version-setup.exe ($(wc -c < "dist/velkar-$version-setup.exe") bytes), the setup program,"
echo "dist/velkar-$version-win32.zip (velkar.dll, velkar.ini, velkar-settings.exe, velkar-preview.exe, README.txt, overlay.html, docs)"
echo "and dist/SHA256SUMS:"
sed 's/^/    /' dist/SHA256SUMS
echo "Install: run the setup program, or copy velkar.dll into the host player's plugins folder."
echo
sh tools/demo.sh
