#!/bin/sh
# The settings program, velkar-settings.exe (32-bit), under Wine: driven by
# settings-driver (64-bit) through the Windows API, as an accessibility tool
# would, against a prefix whose player has AppPath and a plugins\velkar.ini.
# Usage: settings_program_scenarios.sh SOURCE_DIR WORK_DIR SCENARIO
set -u
source_dir=$1
work_root=$2
scenario=$3
export WINEPREFIX=$work_root/wine-prefix
. "$source_dir/tools/wine-session.sh"
wine_use_target "$source_dir" win32
wine_require win32 "the settings program is 32-bit: its scenarios need Wine's 32-bit side"
program=$source_dir/build/win32/velkar-settings.exe
driver=$source_dir/build/win64/settings-driver.exe
for file in "$program" "$driver"; do
    [ -f "$file" ] || { echo "FAIL: $file missing"; exit 1; }
done

dir=$work_root/scenarios/settings-program/$scenario
rm -rf "$dir"
mkdir -p "$dir"
drive_c=$WINEPREFIX/drive_c
plugins=$drive_c/Player/plugins
media_dir=$(dirname "$work_root")/media
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
expect_line() { grep -qxF "$2" "$1" || { fail "$(basename "$1") lacks the line: $2"; cat "$1"; }; }

# drive ARGUMENT -- COMMAND...: runs the driver; its output in $dir/driver.out.
drive() {
    LC_ALL=$VELKAR_WINE_LOCALE "$WINE64" "$driver" "$(windows_path "$program")" "$@" \
        >"$dir/driver.raw" 2>&1 || fail "the driver failed: $(cat "$dir/driver.raw")"
    tr -d '\r' <"$dir/driver.raw" >"$dir/driver.out"
}

wine_prepare_prefix
wine_reg_set_app_path 'C:\Player\player.exe'
rm -rf "$drive_c/Player" "$drive_c/velkar.ini"
mkdir -p "$plugins"
printf '2,watching [TAGS]\r\n1,[TAGS]\r\n; my overlay\r\nnowplaying-file=np.txt\r\n' >"$plugins/velkar.ini"
media=$(windows_path "$media_dir/v23-utf16.mp3")

case $scenario in
edit_and_save)
    # It shows the file the plug-in reads, and the preview its text; edited,
    # the preview follows as one types; saved, the file holds the profile
    # lines first, the comment where it was, CRLF, UTF-8 with its mark for a
    # character the code page lacks; closed after a save, it asks nothing.
    drive "$media" -- show \
        set "$(hex 'Music files, template')" "$(hex '[TITLE]{ by [ARTIST]} ♪')" \
        choose "$(hex 'Other files (line 1), category')" 2 \
        set "$(hex 'Path')" "$(hex 'C:\np\nowplaying.txt')" \
        show press "$(hex 'Save')" status close
    sed -n '1,/^Problems/p' "$dir/driver.out" >"$dir/before"
    expect_line "$dir/before" 'Settings file: C:\Player\plugins\velkar.ini'
    expect_line "$dir/before" 'Other files (line 1), category: Office'
    expect_line "$dir/before" 'Other files, template: watching [TAGS]'
    expect_line "$dir/before" 'Music files, .mp3 and .wav (line 2), category: Music'
    expect_line "$dir/before" 'Music files, template: [TAGS]'
    expect_line "$dir/before" 'Path: np.txt'
    expect_line "$dir/before" 'Display line: Björk - Jóga '
    sed -n '/^Problems/,$p' "$dir/driver.out" | tail -n +2 >"$dir/after"
    expect_line "$dir/after" 'Other files (line 1), category: Games'
    expect_line "$dir/after" 'Display line: Jóga by Björk ♪ '
    expect_line "$dir/after" 'Now-playing file: Jóga by Björk ♪ '
    grep -q '^status: Saved C:\\Player\\plugins\\velkar.ini (UTF-8)\. ' "$dir/driver.out" ||
        fail "no saving said: $(grep '^status' "$dir/driver.out")"
    expect_line "$dir/driver.out" 'closed'
    printf '\357\273\2773,watching [TAGS]\r\n1,[TITLE]{ by [ARTIST]} \342\231\252\r\n; my overlay\r\nnowplaying-file=C:\\np\\nowplaying.txt\r\n' >"$dir/expected.ini"
    cmp -s "$plugins/velkar.ini" "$dir/expected.ini" ||
        fail "velkar.ini differs: $(od -c "$plugins/velkar.ini" | head -12)"
    [ "$(ls "$plugins")" = velkar.ini ] || fail "the plugins folder holds: $(ls "$plugins")"
    ;;
save_refused)
    # A folder it may not write, even with administrator rights: the
    # failure is said in the window, the old file stays whole, and closing
    # with the change unsaved asks.
    cp "$plugins/velkar.ini" "$dir/old.ini"
    chattr +i "$plugins" || { echo "SKIPPED: chattr +i is not possible here"; exit 77; }
    drive "$media" -- set "$(hex 'Other files, template')" "$(hex 'seeing [FILENAME]')" \
        press "$(hex 'Save')" status close-discarding
    chattr -i "$plugins"
    grep -q '^status: Not saved: .*\. The file is as it was\.$' "$dir/driver.out" ||
        fail "no failure said: $(grep '^status' "$dir/driver.out")"
    expect_line "$dir/driver.out" 'asked to save: yes'
    expect_line "$dir/driver.out" 'closed'
    cmp -s "$plugins/velkar.ini" "$dir/old.ini" || fail "velkar.ini was changed"
    [ "$(ls "$plugins")" = velkar.ini ] || fail "the plugins folder holds: $(ls "$plugins")"
    ;;
save_only)
    # What the copy with administrator rights does: the bytes it is given,
    # to the path it is given, whole; it looks for nothing itself.
    printf '\357\273\2771,[TITLE]\r\n1,[TITLE]\r\n' >"$drive_c/contents.bin"
    LC_ALL=$VELKAR_WINE_LOCALE "$HOST_WINE" "$program" --save-only 'C:\elsewhere.ini' 'C:\contents.bin' \
        >"$dir/save.out" 2>&1
    status=$?
    [ $status -eq 0 ] || fail "--save-only exited with $status"
    cmp -s "$drive_c/elsewhere.ini" "$drive_c/contents.bin" || fail "C:\\elsewhere.ini is not the contents"
    LC_ALL=$VELKAR_WINE_LOCALE "$HOST_WINE" "$program" --save-only 'C:\missing\x.ini' 'C:\contents.bin' \
        >"$dir/save.out" 2>&1
    status=$?
    [ $status -ne 0 ] || fail "--save-only into a missing folder said it saved"
    rm -f "$drive_c/elsewhere.ini" "$drive_c/contents.bin"
    ;;
*)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac

wine_reg_remove_app_path
rm -rf "$drive_c/Player"
if [ $failures -ne 0 ]; then exit 1; fi
echo "settings program $scenario: passed"
