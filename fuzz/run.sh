#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each for
# SECONDS (default 30) from the seed corpora. Exits non-zero on any crash,
# sanitizer report or failed check; the crashing input is left in build/fuzz.
# The tags target's seeds are the media files tests/tags/make_media.py writes
# (ffmpeg and mutagen), made once into build/fuzz/media.
# The settings document's seeds are the settings target's (the first byte
# of each is taken as the edit).
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
#   (targets: settings compose tags settings_document presence_reply)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift
targets=${*:-settings compose tags settings_document presence_reply}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
for target in $targets; do
    mkdir -p "build/fuzz/corpus-$target"
    seeds="../../fuzz/corpus/$target"
    limit=
    if [ "$target" = settings_document ]; then seeds="../../fuzz/corpus/settings"; fi
    if [ "$target" = tags ]; then
        [ build/fuzz/media/manifest.tsv -nt tests/tags/make_media.py ] ||
            /usr/bin/python3 tests/tags/make_media.py build/fuzz/media >/dev/null
        seeds=media
        # Longer seeds are read cut to this; what lies past it is reached by seeking.
        limit=-max_len=131072
    fi
    echo "== ${target}_fuzz for $seconds s"
    status=0
    (cd build/fuzz && "./fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="${target}-" $limit "corpus-$target" "$seeds") \
        >"build/fuzz/${target}.log" 2>&1 || status=$?
    grep -E '^(Done|stat::number_of_executed_units)|ERROR|SUMMARY|deadly' "build/fuzz/${target}.log" || true
    if [ $status -ne 0 ]; then
        echo "FAIL: ${target}_fuzz exited with $status; see build/fuzz/${target}.log"
        exit 1
    fi
done
