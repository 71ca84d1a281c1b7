#!/bin/sh
# Makes the settings window's picture for the README: velkar-settings.exe
# under Xvfb with Wine's X11 driver, in a prefix of its own, with a sample
# velkar.ini beside a player's AppPath and a tagged media file to preview.
# Not part of the build: the picture is committed, and the release stays
# reproducible. Needs Debian's xvfb, x11-apps and imagemagick, and the
# win32 build and the tests' media files (tools/test.sh makes both).
# Usage: tools/screenshot-settings.sh [OUTPUT.png]
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-programs/settings-window/settings-window.png}
work=$root/build/screenshot
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\SOFTWARE\BST\bsplayerv1' /v AppPath /d 'C:\Player\player.exe' /f >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/Player/plugins"
printf '2,watching [TAGS]\r\n1,[TITLE]{ by [ARTIST]}{ ([ALBUM])}\r\n; my overlay\r\nnowplaying-file=nowplaying.txt\r\nnowplaying-text=Now playing: [TAGS]\r\nnowplaying-json=nowplaying.json\r\nnowplaying-cover=cover.jpg\r\ndiscord-application-id=1234567890123456789\r\n' \
    >"$WINEPREFIX/drive_c/Player/plugins/velkar.ini"
cp "$root/build/native/media/v24-utf8.mp3" "$WINEPREFIX/drive_c/Player/song.mp3"
wineserver -w
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" sh -c '
    wine "'"$root"'/build/win32/velkar-settings.exe" "C:\Player\song.mp3" &
    sleep 20
    xwd -root -silent | convert xwd:- -trim +repage "'"$work"'/window.png"
    wineserver -k
'
cp "$work/window.png" "$out"
echo "Wrote $out"
