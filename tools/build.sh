#!/bin/sh
# Builds the shipping 32-bit plug-in, build/win32/velkar.dll.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh build
cmake --preset win32 >/dev/null
cmake --build --preset win32
echo
echo "Built build/win32/velkar.dll ($(wc -c < build/win32/velkar.dll) bytes)."
echo "Install: copy it into the host player's plugins folder."
