#!/bin/sh
# Shows the plug-in working: under Wine, host-sim loads the shipped 32-bit
# build/win32/velkar.dll, announces three files, publishes each and
# withdraws; messenger-sim, in another process, says what the messenger
# would display. Where this machine cannot run 32-bit Windows programs, it
# says why and runs the 64-bit twin, built from the same sources, instead.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
export WINEPREFIX=$root/build/wine-prefix
. tools/wine-session.sh

target=win32
reason=$(wine_unavailable_reason win32)
if [ -n "$reason" ]; then
    if [ -n "$(wine_unavailable_reason win64)" ]; then
        echo "No demo: $reason; then run tools/build.sh again."
        exit 0
    fi
    echo "The shipped 32-bit DLL cannot run here: $reason."
    echo "Showing its 64-bit twin, build/win64/velkar.dll, built from the same sources."
    echo
    target=win64
fi
wine_use_target "$root" "$target"

dir=$root/build/demo
mkdir -p "$dir/plugin"
wine_prepare_prefix
wine_reg_remove_app_path
# A copy of the DLL, in a folder of its own: beside the build's one lies the
# sample velkar.ini, which the plug-in would read; the demo shows the
# built-in wording.
cp "$VELKAR_HOST_DIR/velkar.dll" "$dir/plugin/velkar.dll"
export VELKAR_DLL="$dir/plugin/velkar.dll"

# C:\Music\Café_del_Mar.mp3, with é as the byte 0xE9 of code page 1252.
cafe_hex=$(printf 'C:\\Music\\Caf\351_del_Mar.mp3' | od -An -tx1 | tr -d ' \n')

echo "The host player (host-sim, $target) loads build/$target/velkar.dll and announces"
echo "three files; the messenger (messenger-sim, another process) shows what arrives:"
echo
# printf, not echo: some shells' echo reads backslashes as escapes.
printf '  %s\n' 'plays C:\Media\My_Band_-_Best.Song.mp3, publishes' \
    'plays D:\clips\holiday.mpeg, publishes' \
    "plays C:\\Music\\Caf$(printf '\303\251')_del_Mar.mp3, publishes" 'withdraws'

echo
messenger_start "$dir" 1 --show
status=0
host_run "$dir" set-file 'C:\Media\My_Band_-_Best.Song.mp3' publish \
    set-file 'D:\clips\holiday.mpeg' publish set-file-hex "$cafe_hex" publish withdraw || status=$?
messenger_stop
sed 's/^/  /' "$dir/messenger.out"
if [ $status -ne 0 ] || [ ! -s "$dir/messenger.out" ]; then
    echo "The demo did not run as expected; host-sim said:" >&2
    cat "$dir/host.out" >&2
    exit 1
fi
