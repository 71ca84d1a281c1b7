#!/bin/sh
# Two release builds of this commit, from clean clones in different folders,
# a second apart, with different TZ and umask: every artefact must be the
# same, byte for byte. Prints the hashes of both builds.
# Usage: reproducible.sh SOURCE_DIR WORK_DIR
set -u
source_dir=$1
work=$2
. "$(dirname "$0")/release-test.sh"

build() {
    git clone -q "$source_dir" "$work/$1" || { fail "cannot clone $source_dir"; return; }
    (cd "$work/$1" && umask "$2" && TZ=$3 sh tools/release.sh) >"$work/$1.log" 2>&1 ||
        { fail "the release build in $1 failed:"; cat "$work/$1.log"; }
}
build first 022 UTC
sleep 1
build "second build" 077 Pacific/Kiritimati

artefacts="build/win32/velkar.dll build/win32/velkar-preview.exe build/win32/velkar-settings.exe"
for file in "$work/first/dist/"velkar-*; do artefacts="$artefacts dist/$(basename "$file")"; done
for artefact in $artefacts dist/SHA256SUMS; do
    first=$(sha256sum <"$work/first/$artefact" 2>/dev/null | cut -c1-64)
    second=$(sha256sum <"$work/second build/$artefact" 2>/dev/null | cut -c1-64)
    echo "$artefact: $first $second"
    [ -n "$first" ] && [ "$first" = "$second" ] || fail "$artefact differs between the builds"
done
(cd "$work/first/dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match dist/"
if [ $failures -ne 0 ]; then exit 1; fi
rm -rf "$work"
echo "reproducible: two builds gave the same bytes"
