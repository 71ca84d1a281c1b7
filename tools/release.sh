#!/bin/sh
# Builds the release from this tree: the 32-bit plug-in, velkar-settings.exe
# and velkar-preview.exe (signed when VELKAR_SIGNING_CERTIFICATE is given, see
# tools/sign.sh), then in dist/ the ZIP, the setup program (its uninstaller
# and itself signed too) and SHA256SUMS. Every time that ends up in a file
# is the last commit's (SOURCE_DATE_EPOCH), so two runs on one commit give
# the same bytes, wherever and whenever they run.
set -eu
cd "$(dirname "$0")/.."
: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CHANGELOG.md)}"
export SOURCE_DATE_EPOCH
cmake --preset win32 >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
zip=velkar-$version-win32.zip
setup=velkar-$version-setup.exe
# Linked and packed anew each time, so what is signed is what is packed.
rm -f build/win32/velkar.dll build/win32/velkar-preview.exe build/win32/velkar-settings.exe \
    "build/win32/$setup"
cmake --build --preset win32 -j "$(nproc)" --target velkar velkar-preview velkar-settings >/dev/null
sh tools/sign.sh build/win32/velkar.dll build/win32/velkar-preview.exe build/win32/velkar-settings.exe
cmake --build --preset win32 -j "$(nproc)" >/dev/null
mkdir -p dist
rm -f "dist/$zip" "dist/$setup" dist/SHA256SUMS
(cd build/win32 && cpack >/dev/null)
rm -rf dist/_CPack_Packages  # cpack's staging, not a deliverable
# The ZIP's entries: in a fixed order, with the commit's time and plain modes.
strip-nondeterminism --type zip --timestamp "$SOURCE_DATE_EPOCH" "dist/$zip" >/dev/null
cp "build/win32/$setup" dist/
(cd dist && sha256sum "$zip" "$setup" >SHA256SUMS)
