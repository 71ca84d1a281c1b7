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
hex_file() { od -An -tx1 -v "$1" | tr -d ' \n'; }
expect_line() { grep -qxF "$2" "$1" || { fail "$(basename "$1") lacks the line: $2"; cat "$1"; }; }

# drive ARGUMENT -- COMMAND...: runs the driver; its output in $dir/driver.out.
# drive_holding FILE ARGUMENT -- COMMAND...: the same, FILE held unshared
# from before the program starts until the command "release".
drive() { drive_with "$(windows_path "$program")" "$@"; }
drive_holding() {
    held=$1
    shift
    drive_with --hold "$held" "$(windows_path "$program")" "$@"
}
drive_with() {
    LC_ALL=$VELKAR_WINE_LOCALE "$WINE64" "$driver" "$@" \
        >"$dir/driver.raw" 2>&1 || fail "the driver failed: $(cat "$dir/driver.raw")"
    tr -d '\r' <"$dir/driver.raw" >"$dir/driver.out"
}
# utf16le_file TEXT: TEXT (printf's format) as UTF-16LE with its mark.
# shellcheck disable=SC2059
utf16le_file() { printf '\377\376'; printf "$1" | iconv -f UTF-8 -t UTF-16LE; }
# fingerprint FILE: what a save expects FILE to hold, as the window tells
# the elevated copy: "missing", or the size and the 64-bit FNV-1a hash.
fingerprint() {
    /usr/bin/python3 -c '
import os, sys
path = sys.argv[1]
if not os.path.exists(path):
    print("missing")
else:
    data = open(path, "rb").read()
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    print("%d-%016x" % (len(data), h))' "$1"
}
# save_only TARGET CONTENTS [EXPECTED]: runs the elevated copy's mode, told
# that TARGET holds what it holds now unless EXPECTED says otherwise; its
# status in $status.
save_only() {
    expected=${3:-$(fingerprint "$drive_c/$(printf '%s' "${1#C:\\}" | tr '\\' '/')")}
    LC_ALL=$VELKAR_WINE_LOCALE "$HOST_WINE" "$program" --save-only "$1" "$2" "$expected" \
        >"$dir/save.out" 2>&1
    status=$?
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
    expect_line "$dir/before" 'Music files (line 2), category: Music'
    expect_line "$dir/before" 'Music files, template: [TAGS]'
    expect_line "$dir/before" 'Path: np.txt'
    expect_line "$dir/before" 'Display line: Björk - Jóga '
    sed -n '/^Problems/,$p' "$dir/driver.out" | tail -n +2 >"$dir/after"
    expect_line "$dir/after" 'Other files (line 1), category: Games'
    expect_line "$dir/after" 'Display line: Jóga by Björk ♪ '
    expect_line "$dir/after" 'Now-playing file: Jóga by Björk ♪ '
    grep -q '^status: Saved C:\\Player\\plugins\\velkar.ini (UTF-8 with its mark)\. ' "$dir/driver.out" ||
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
    # to the settings file it is given, whole; it looks for nothing itself,
    # writes nothing but a velkar.ini, and deletes nothing.
    printf '\357\273\2771,[TITLE]\r\n1,[TITLE]\r\n' >"$drive_c/contents.bin"
    save_only 'C:\Player\plugins\VELKAR.INI' 'C:\contents.bin' "$(fingerprint "$plugins/velkar.ini")"
    [ $status -eq 0 ] || fail "--save-only exited with $status"
    cmp -s "$plugins/velkar.ini" "$drive_c/contents.bin" || fail "velkar.ini is not the contents"
    [ "$(ls "$plugins")" = velkar.ini ] || fail "the plugins folder holds: $(ls "$plugins")"
    [ -f "$drive_c/contents.bin" ] || fail "the elevated copy deleted the contents file"
    head -c 70000 /dev/zero | tr '\0' 'x' >"$drive_c/big.bin"
    printf 'MZ\220\000\003\000' >"$drive_c/program.bin"
    for bad in 'C:\elsewhere.ini C:\contents.bin' 'C:\x.dll C:\contents.bin' \
        'C:\missing\velkar.ini C:\contents.bin' 'C:\velkar.ini C:\big.bin' \
        'C:\velkar.ini C:\program.bin' 'C:\velkar.ini C:\missing.bin'; do
        # shellcheck disable=SC2086
        save_only $bad
        [ $status -ne 0 ] || fail "--save-only $bad said it saved"
    done
    for written in elsewhere.ini x.dll missing velkar.ini; do
        [ ! -e "$drive_c/$written" ] || fail "--save-only wrote C:/$written"
    done
    # Told the file holds other bytes than it does, or that it is missing,
    # it writes nothing.
    cp "$plugins/velkar.ini" "$dir/kept.ini"
    printf '1,[TAGS]\r\n1,[TAGS]\r\n' >"$drive_c/contents.bin"
    for expected in 3-0000000000000000 missing; do
        save_only 'C:\Player\plugins\velkar.ini' 'C:\contents.bin' "$expected"
        [ $status -ne 0 ] || fail "--save-only wrote over a file other than expected ($expected)"
        cmp -s "$plugins/velkar.ini" "$dir/kept.ini" || fail "velkar.ini changed ($expected)"
    done
    rm -f "$drive_c/contents.bin" "$drive_c/big.bin" "$drive_c/program.bin"
    ;;
changed_meanwhile)
    # Another program saves velkar.ini after the window opened it: Save
    # refuses and offers to read it again; read again, the user's change is
    # on it, and the next Save keeps the other program's lines.
    printf '2,watching [TAGS]\r\n1,[TAGS]\r\n; theirs\r\nnowplaying-file=np.txt\r\n' >"$dir/theirs.ini"
    drive -- set "$(hex 'Other files, template')" "$(hex 'seeing [FILENAME]')" \
        write 'C:\Player\plugins\velkar.ini' "$(hex_file "$dir/theirs.ini")" \
        press-answering "$(hex 'Save')" yes status show press "$(hex 'Save')" status close
    grep -q '^asked: velkar.ini changed since it was opened' "$dir/driver.out" ||
        fail "Save did not say the file changed: $(cat "$dir/driver.out")"
    expect_line "$dir/driver.out" 'Other files, template: seeing [FILENAME]'
    grep -q '^status: Saved ' "$dir/driver.out" || fail "not saved: $(grep '^status' "$dir/driver.out")"
    printf '2,seeing [FILENAME]\r\n1,[TAGS]\r\n; theirs\r\nnowplaying-file=np.txt\r\n' >"$dir/expected.ini"
    cmp -s "$plugins/velkar.ini" "$dir/expected.ini" ||
        fail "velkar.ini differs: $(od -c "$plugins/velkar.ini" | head -8)"
    # A file missing when the window opened, made meanwhile: kept whole.
    rm -f "$plugins/velkar.ini"
    printf '1,[TAGS]\r\n1,[TAGS]\r\n' >"$dir/theirs.ini"
    drive -- set "$(hex 'Other files, template')" "$(hex 'seeing [FILENAME]')" \
        write 'C:\Player\plugins\velkar.ini' "$(hex_file "$dir/theirs.ini")" \
        press-answering "$(hex 'Save')" no status close-discarding
    cmp -s "$plugins/velkar.ini" "$dir/theirs.ini" || fail "the file made meanwhile was replaced"
    [ "$(ls "$plugins")" = velkar.ini ] || fail "the plugins folder holds: $(ls "$plugins")"
    ;;
switches_and_rules)
    # The switches show what the plug-in takes (an id alone turns Discord
    # on), the preview follows them (a private file shows nothing, a file
    # of known length clears by itself), and a save appends the lines the
    # user changed, leaving the others as they were.
    printf '1,[TAGS]\r\n2,[TAGS]\r\ndiscord-application-id=123456789012345678\r\nnowplaying-file=np.txt\r\n' \
        >"$plugins/velkar.ini"
    drive "$media" -- set "$(hex 'Cover picture')" "$(hex 'C:\np\cover.png')" show \
        tick "$(hex 'Show what I play on Discord: "Listening to" or "Watching"')" 0 \
        tick "$(hex 'Write a now-playing file, for stream overlays and chat bots')" 0 \
        set "$(hex 'Seconds after a track'"'"'s end until Discord and the file go quiet (or never)')" \
        "$(hex 'never')" \
        choose "$(hex 'Judge music files by')" 1 \
        show set "$(hex 'Private (folders or patterns, ; between)')" "$(hex '*.MP3;D:\Home')" \
        show press "$(hex 'Save')" status close
    sed -n '1,/^Problems/p' "$dir/driver.out" >"$dir/before"
    expect_line "$dir/before" '[x] Show what I play on Discord: "Listening to" or "Watching"'
    expect_line "$dir/before" '[x] Write a now-playing file, for stream overlays and chat bots'
    expect_line "$dir/before" 'Judge music files by: Their name: .mp3 and .wav files are music'
    expect_line "$dir/before" 'Private (folders or patterns, ; between): '
    expect_line "$dir/before" "Seconds after a track's end until Discord and the file go quiet (or never): 30"
    expect_line "$dir/before" 'Clears by itself: 0:30 after its end, if the player has said nothing more by then'
    expect_line "$dir/before" 'Cover picture: C:\np\cover.png'
    expect_line "$dir/before" 'Cover: none: the cover file is removed'
    expect_line "$dir/before" 'JSON: (no JSON file: no path, or it is off)'
    sed -n '/^Problems/,$p' "$dir/driver.out" | tail -n +2 >"$dir/off"
    sed -n '1,/^Problems/p' "$dir/off" >"$dir/switched"
    expect_line "$dir/switched" '[ ] Show what I play on Discord: "Listening to" or "Watching"'
    expect_line "$dir/switched" '[ ] Write a now-playing file, for stream overlays and chat bots'
    expect_line "$dir/switched" 'Member list: (nothing: Discord is off)'
    expect_line "$dir/switched" 'Now-playing file: (no file is written: it is off)'
    expect_line "$dir/switched" 'Clears by itself: (nothing to clear: neither Discord nor the file is on)'
    sed -n '/^Problems/,$p' "$dir/off" | tail -n +2 >"$dir/private"
    expect_line "$dir/private" 'Category: (private: the messenger'"'"'s status is withdrawn)'
    expect_line "$dir/private" 'Clears by itself: (private: nothing of it is shown anywhere)'
    expect_line "$dir/private" 'Cover: (private: no cover)'
    grep -q '^status: Saved ' "$dir/driver.out" || fail "no saving said: $(grep '^status' "$dir/driver.out")"
    printf '1,[TAGS]\r\n2,[TAGS]\r\ndiscord-application-id=123456789012345678\r\nnowplaying-file=np.txt\r\ndiscord=off\r\nnowplaying=off\r\nstale-after=never\r\nprivate=*.MP3;D:\\Home\r\naudio-files=content\r\nnowplaying-cover=C:\\np\\cover.png\r\n' \
        >"$dir/expected.ini"
    cmp -s "$plugins/velkar.ini" "$dir/expected.ini" ||
        fail "velkar.ini differs: $(od -c "$plugins/velkar.ini" | head -14)"
    ;;
what_is_not_shown_stays)
    # An edit lands on the line the plug-in takes: a refused discord-image
    # line after it stays; a comment on line 1 follows the profile lines an
    # edit of the first template makes; a template longer than the plug-in
    # reads is refused, with nothing written.
    printf '; settings for the stream PC\r\n1,[TAGS]\r\ndiscord-image=mykey\r\ndiscord-image=http://host/cover.png\r\n' \
        >"$plugins/velkar.ini"
    drive -- show set "$(hex 'Image (asset key or https URL)')" "$(hex 'other')" \
        set "$(hex 'Other files, template')" "$(hex 'seeing [FILENAME]')" \
        press "$(hex 'Save')" status close
    expect_line "$dir/driver.out" 'Image (asset key or https URL): mykey'
    expect_line "$dir/driver.out" 'Other files, template: watching [FILENAME]'
    printf '2,seeing [FILENAME]\r\n1,[TAGS]\r\n; settings for the stream PC\r\ndiscord-image=other\r\ndiscord-image=http://host/cover.png\r\n' \
        >"$dir/expected.ini"
    cmp -s "$plugins/velkar.ini" "$dir/expected.ini" ||
        fail "velkar.ini differs: $(od -c "$plugins/velkar.ini" | head -10)"
    cp "$plugins/velkar.ini" "$dir/kept.ini"
    long=$(printf '%0300d' 0 | tr 0 x)
    drive -- set "$(hex 'Music files, template')" "$(hex "[TAGS] $long")" \
        press "$(hex 'Save')" status close-discarding
    grep -q '^status: Not saved: line 2 would be longer than the plug-in reads' "$dir/driver.out" ||
        fail "no refusal said: $(grep '^status' "$dir/driver.out")"
    cmp -s "$plugins/velkar.ini" "$dir/kept.ini" || fail "velkar.ini was changed"
    [ "$(ls "$plugins")" = velkar.ini ] || fail "the plugins folder holds: $(ls "$plugins")"
    ;;
odd_files)
    # Files the plug-in reads in its own way: saved without a change, each
    # comes back byte for byte; with the Music template changed, only that
    # line differs, in the file's encoding and line ends.
    case_number=0
    while IFS='|' read -r kind before after; do
        case_number=$((case_number + 1))
        if [ "$kind" = utf16 ]; then
            utf16le_file "$before" >"$dir/before.ini"
            utf16le_file "$after" >"$dir/after.ini"
        else
            # shellcheck disable=SC2059
            printf "$before" >"$dir/before.ini"
            # shellcheck disable=SC2059
            printf "$after" >"$dir/after.ini"
        fi
        cp "$dir/before.ini" "$plugins/velkar.ini"
        drive -- press "$(hex 'Save')" status close
        cmp -s "$plugins/velkar.ini" "$dir/before.ini" ||
            fail "file $case_number changed unedited: $(od -c "$plugins/velkar.ini" | head -5)"
        drive -- set "$(hex 'Music files, template')" "$(hex '[TITLE] x')" \
            press "$(hex 'Save')" status close
        cmp -s "$plugins/velkar.ini" "$dir/after.ini" ||
            fail "file $case_number edited: $(od -c "$plugins/velkar.ini" | head -5)"
        grep -q '^status: Saved ' "$dir/driver.out" || fail "file $case_number: $(grep '^status' "$dir/driver.out")"
        [ "$(ls "$plugins")" = velkar.ini ] || fail "the plugins folder holds: $(ls "$plugins")"
    done <<'EOF'
utf16|2,\316\272 [TAGS]\r\n1,[TAGS]\r\n; \346\227\245\r\n|2,\316\272 [TAGS]\r\n1,[TITLE] x\r\n; \346\227\245\r\n
ansi|2,[FILENAME]\r\n1,[TAGS]\r\n\032nowplaying-file=x.txt\r\n|2,[FILENAME]\r\n1,[TITLE] x\r\n\032nowplaying-file=x.txt\r\n
ansi|\357\273\2772,[FILENAME]\n1,[TAGS]\n; \377\376 bad\n|\357\273\2772,[FILENAME]\n1,[TITLE] x\n; \377\376 bad\n
ansi|2,[FILENAME] a\rb\r\n1,[TAGS]\r\r\n|2,[FILENAME] a\rb\r\n1,[TITLE] x\r\n
ansi|watching\n1,[TAGS]\n|watching\n1,[TITLE] x\n
ansi|2 watching,[TAGS]\n1,[TAGS]\nnowplaying-file=a.txt\nnowplaying-text=\nnowplaying-file=np.txt|2 watching,[TAGS]\n1,[TITLE] x\nnowplaying-file=a.txt\nnowplaying-text=\nnowplaying-file=np.txt
EOF
    ;;
held_file)
    # Held by another program without sharing while the window loads it,
    # let go before Save is pressed: the window says why it did not read
    # it, refuses to save over it, closes without asking, and the file is
    # as it was.
    cp "$plugins/velkar.ini" "$dir/old.ini"
    drive_holding 'C:\Player\plugins\velkar.ini' -- show status release \
        set "$(hex 'Other files, template')" "$(hex 'seeing [FILENAME]')" \
        press "$(hex 'Save')" status close
    grep -q '^Settings file: C:\\Player\\plugins\\velkar.ini  (not read: it cannot be opened' "$dir/driver.out" ||
        fail "the window does not say it could not read the file: $(cat "$dir/driver.out")"
    expect_line "$dir/driver.out" 'Other files, template: '
    grep -q '^status: Not saved: the file was not read' "$dir/driver.out" ||
        fail "no refusal said: $(grep '^status' "$dir/driver.out")"
    expect_line "$dir/driver.out" 'closed'
    cmp -s "$plugins/velkar.ini" "$dir/old.ini" || fail "velkar.ini was changed"
    ;;
what_is_shown_is_read)
    # Ã© fits code page 1252, but its bytes there are UTF-8 for é: saved
    # as UTF-8 with its mark, the 32-bit plug-in reads what was shown.
    drive "$media" -- set "$(hex 'Other files, template')" "$(hex 'Ã© [FILENAME]')" \
        press "$(hex 'Save')" status close
    printf '\357\273\2772,\303\203\302\251 [FILENAME]\r\n1,[TAGS]\r\n; my overlay\r\nnowplaying-file=np.txt\r\n' >"$dir/expected.ini"
    cmp -s "$plugins/velkar.ini" "$dir/expected.ini" ||
        fail "velkar.ini differs: $(od -c "$plugins/velkar.ini" | head -5)"
    messenger_start "$dir" 1 || fail "messenger-sim did not start"
    host_run "$dir" --close-boxes set-file 'D:\clips\holiday.mpeg' publish || fail "host-sim failed"
    messenger_stop
    grep -qF 'text=\0Office\01\0{0}\0<U+00C3><U+00A9> holiday \0' "$dir/messenger.log" ||
        fail "the plug-in read otherwise: $(cat "$dir/messenger.log")"
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
