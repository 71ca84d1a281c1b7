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
echo
echo "Built build/win32/velkar.dll ($(wc -c < build/win32/velkar.dll) bytes) and"
echo "dist/$(ls dist | grep -- '-win32.zip$' | tail -n 1) (velkar.dll, velkar.ini, velkar-preview.exe, README.txt)."
echo "Install: copy velkar.dll into the host player's plugins folder."
echo
sh tools/demo.sh
