#!/bin/sh
# The main job: builds the shipping 32-bit plug-in and its release package,
# then shows that DLL working under Wine (the 64-bit twin builds beside it:
# the messenger stand-in and the second target of the Wine tests).
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh build
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
(cd build/win32 && cpack >/dev/null)
rm -rf dist/_CPack_Packages  # cpack's staging, not a deliverable
setup=$(cd build/win32 && ls velkar-*-setup.exe)
cp "build/win32/$setup" dist/
echo
echo "Built build/win32/velkar.dll ($(wc -c < build/win32/velkar.dll) bytes),"
echo "dist/$setup ($(wc -c < "dist/$setup") bytes), the setup program, and"
echo "dist/$(ls dist | grep -- '-win32.zip$' | tail -n 1) (velkar.dll, velkar.ini, velkar-preview.exe, README.txt)."
echo "Install: run the setup program, or copy velkar.dll into the host player's plugins folder."
echo
sh tools/demo.sh
