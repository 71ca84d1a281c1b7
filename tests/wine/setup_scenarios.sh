#!/bin/sh
# The setup program under the 32-bit Wine, run silently as a user's script
# would: where it installs, what it keeps, what the installed plug-in does,
# and what uninstalling leaves.
# Usage: setup_scenarios.sh SOURCE_DIR WORK_DIR SETUP_EXE SCENARIO
set -u
source_dir=$1
work_root=$2
setup=$3
scenario=$4
export WINEPREFIX=$work_root/wine-prefix
. "$source_dir/tools/wine-session.sh"
wine_use_target "$source_dir" win32

wine_require win32 "the setup program is 32-bit and needs Wine's 32-bit side"
[ -f "$setup" ] || { echo "FAIL: $setup missing"; exit 1; }

dir=$work_root/scenarios/setup/$scenario
rm -rf "$dir"
mkdir -p "$dir"
drive_c=$WINEPREFIX/drive_c
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The Start-menu shortcut to the settings program, wherever setup put it.
shortcut() { find "$drive_c" -name 'Velkar Settings.lnk' 2>/dev/null; }
expect_file() { [ -f "$drive_c/$1" ] || fail "C:/$1 is missing"; }
expect_no_file() { [ ! -e "$drive_c/$1" ] || fail "C:/$1 is still there"; }

# Setup, the uninstaller and reg.exe run with the 32-bit loader: the same
# registry view as the setup program's.
run_setup() { "$WINE32_LOADER" "$setup" /S "$@"; }
run_uninstaller() {
    "$WINE32_LOADER" "$(windows_path "$drive_c/$1")" /S
    status=$?
    wineserver -w  # the uninstaller runs from a copy of itself and returns at once
    return $status
}
entry() {
    "$WINE32_LOADER" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkar' 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *\([A-Za-z]*\) *REG_[A-Z]* *\(.*\)$/\1=\2/p'
}
expect_entry() { entry | grep -qxF "$1" || { fail "the uninstall entry lacks $1"; entry; }; }

clean() {
    [ -f "$drive_c/Player/Velkar/velkar-uninstall.exe" ] && run_uninstaller Player/Velkar/velkar-uninstall.exe
    wine_reg_remove_app_path
    "$WINE32_LOADER" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkar' /f >/dev/null 2>&1
    rm -rf "$drive_c/Player" "$drive_c/Elsewhere"
}

# A changed velkar.ini: line 1 with the user's own words.
change_settings() { printf '3,my own [FILENAME]\r\n1,[FILENAME]\r\n' >"$drive_c/$1/velkar.ini"; }
expect_changed_settings() {
    grep -q 'my own' "$drive_c/$1/velkar.ini" || fail "the changed velkar.ini in C:/$1 was not kept"
}

wine_prepare_prefix
clean

case $scenario in
install)
    # The folder comes from the host's value, as the plug-in derives it; the
    # installed plug-in then reads the installed velkar.ini.
    wine_reg_set_app_path 'C:\Player\player.exe'
    run_setup || fail "setup exited with $?"
    cmp -s "$drive_c/Player/plugins/velkar.dll" "$VELKAR_HOST_DIR/velkar.dll" ||
        fail "the installed DLL is not the built one"
    cmp -s "$drive_c/Player/plugins/velkar.ini" "$VELKAR_HOST_DIR/velkar.ini" ||
        fail "the installed velkar.ini is not the sample"
    [ "$(ls "$drive_c/Player/plugins")" = "$(printf 'velkar.dll\nvelkar.ini')" ] ||
        fail "the plugins folder holds more: $(ls "$drive_c/Player/plugins")"
    for file in velkar-settings.exe velkar-preview.exe README.txt overlay.html docs/settings-file.md velkar-uninstall.exe; do
        expect_file "Player/Velkar/$file"
    done
    [ -n "$(shortcut)" ] || fail "there is no Start-menu shortcut to Velkar Settings"
    expect_entry "DisplayName=Tamsel's Velkar"
    expect_entry "DisplayVersion=$(basename "$setup" | sed 's/^velkar-\(.*\)-setup\.exe$/\1/')"
    expect_entry 'UninstallString="C:\Player\Velkar\velkar-uninstall.exe"'
    entry | grep -q '^EstimatedSize=0x[0-9a-f]*$' || fail "the uninstall entry has no size"
    # A signed setup writes a signed uninstaller; VELKAR_VERIFY_CERTIFICATE
    # names the certificate to check it against.
    if [ -n "${VELKAR_VERIFY_CERTIFICATE:-}" ] &&
        ! osslsigncode verify -CAfile "$VELKAR_VERIFY_CERTIFICATE" \
            -in "$drive_c/Player/Velkar/velkar-uninstall.exe" >"$dir/verify.out" 2>&1; then
        fail "the installed uninstaller's signature does not verify: $(cat "$dir/verify.out")"
    fi
    # The setup program's own version resource (UTF-16 strings).
    i686-w64-mingw32-strings -el "$setup" | grep -qxF "Tamsel's Velkar setup" ||
        fail "the setup program has no version resource naming the product"

    # The sample's line ends show as one space after the title.
    VELKAR_DLL=$drive_c/Player/plugins/velkar.dll
    messenger_start "$dir" 1 || fail "messenger-sim did not start"
    host_run "$dir" set-file 'D:\clips\holiday.mpeg' publish || fail "host-sim failed: $(cat "$dir/host.out")"
    messenger_stop
    grep -q 'text=\\0Office\\01\\0{0}\\0watching holiday \\0 ' "$dir/messenger.log" ||
        fail "the installed plug-in did not send the installed settings' text: $(cat "$dir/messenger.log")"
    ;;
upgrade)
    # A second setup replaces the DLL and keeps a changed velkar.ini; while
    # the player has the DLL loaded it changes nothing and says it failed.
    wine_reg_set_app_path 'C:\Player\player.exe'
    run_setup || fail "setup exited with $?"
    change_settings Player/plugins
    printf 'old' >"$drive_c/Player/plugins/velkar.dll"
    run_setup || fail "the second setup exited with $?"
    cmp -s "$drive_c/Player/plugins/velkar.dll" "$VELKAR_HOST_DIR/velkar.dll" || fail "the DLL was not replaced"
    expect_changed_settings Player/plugins

    rm "$drive_c/Player/Velkar/README.txt"
    "$WINE32_LOADER" "$VELKAR_HOST_DIR/host-sim.exe" 'C:\Player\plugins\velkar.dll' sleep 4000 >"$dir/holder.out" 2>&1 &
    holder=$!
    tries=0
    until grep -q 'pluginInit returned 1' "$dir/holder.out" 2>/dev/null || [ $tries -gt 100 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
    run_setup
    status=$?
    wait $holder
    [ $status -eq 2 ] || fail "setup over a DLL in use exited with $status, not 2"
    expect_no_file Player/Velkar/README.txt
    ;;
uninstall)
    # A changed velkar.ini stays, and the uninstaller says so; the rest goes.
    wine_reg_set_app_path 'C:\Player\player.exe'
    run_setup || fail "setup exited with $?"
    change_settings Player/plugins
    run_uninstaller Player/Velkar/velkar-uninstall.exe || fail "the uninstaller exited with $?"
    expect_no_file Player/plugins/velkar.dll
    expect_changed_settings Player/plugins
    expect_no_file Player/Velkar
    [ -z "$(shortcut)" ] || fail "the Start-menu shortcut is still there: $(shortcut)"
    [ -z "$(entry)" ] || fail "the uninstall entry is still there"
    ;;
discord)
    # Asked for Discord, setup turns it on in the sample it installs, with
    # the user's id when one is given and well formed; a velkar.ini of the
    # user's stays byte for byte whatever is asked.
    wine_reg_set_app_path 'C:\Player\player.exe'
    run_setup /DISCORD=on /DISCORDID=123456789012345678 || fail "setup exited with $?"
    { cat "$VELKAR_HOST_DIR/velkar.ini"; printf 'discord=on\r\ndiscord-application-id=123456789012345678\r\n'; } >"$dir/expected.ini"
    cmp -s "$drive_c/Player/plugins/velkar.ini" "$dir/expected.ini" ||
        fail "velkar.ini ends otherwise: $(tail -c 80 "$drive_c/Player/plugins/velkar.ini" | od -c)"
    change_settings Player/plugins
    cp "$drive_c/Player/plugins/velkar.ini" "$dir/own.ini"
    run_setup /DISCORD=on /DISCORDID=123 || fail "the second setup exited with $?"
    cmp -s "$drive_c/Player/plugins/velkar.ini" "$dir/own.ini" || fail "the user's velkar.ini was changed"
    clean
    wine_reg_set_app_path 'C:\Player\player.exe'
    run_setup /DISCORD=on /DISCORDID=12x4 || fail "the third setup exited with $?"
    { cat "$VELKAR_HOST_DIR/velkar.ini"; printf 'discord=on\r\n'; } >"$dir/expected.ini"
    cmp -s "$drive_c/Player/plugins/velkar.ini" "$dir/expected.ini" ||
        fail "a refused id was written: $(tail -c 80 "$drive_c/Player/plugins/velkar.ini" | od -c)"
    ;;
without_app_path)
    # Without the host's value /D= decides; an untouched install goes whole,
    # the plugins folder it made included.
    run_setup '/D=C:\Elsewhere\plugins' || fail "setup exited with $?"
    expect_file Elsewhere/plugins/velkar.dll
    expect_file Elsewhere/plugins/velkar.ini
    expect_file Elsewhere/Velkar/velkar-uninstall.exe
    expect_entry 'InstallLocation=C:\Elsewhere\plugins'
    run_uninstaller Elsewhere/Velkar/velkar-uninstall.exe || fail "the uninstaller exited with $?"
    expect_no_file Elsewhere/plugins
    expect_no_file Elsewhere/Velkar
    ;;
*)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac
clean

if [ $failures -ne 0 ]; then exit 1; fi
echo "setup $scenario: passed with $(basename "$setup")"
