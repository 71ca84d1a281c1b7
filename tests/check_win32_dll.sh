#!/bin/sh
# Checks the shipped 32-bit DLL as the host player will meet it: one
# undecorated export, stdcall entry points, and only system DLLs imported;
# and the text files shipped beside it.
# Usage: check_win32_dll.sh BUILD_DIR   (holding velkar.dll and velkar.map)
set -u
SKIP=77
build_dir=$1
dll=$build_dir/velkar.dll
map=$build_dir/velkar.map
objdump=i686-w64-mingw32-objdump

if ! command -v "$objdump" >/dev/null 2>&1; then
    echo "SKIPPED: $objdump not found; install binutils-mingw-w64-i686 to inspect the 32-bit DLL"
    exit $SKIP
fi
[ -f "$dll" ] || { echo "FAIL: $dll is missing; build it with: cmake --preset win32 && cmake --build --preset win32"; exit 1; }
[ -f "$map" ] || { echo "FAIL: $map is missing"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll")

# It loads into the player's process: it stays small. The readers of each
# container family's length take most of it; a jump past the budget is a
# library pulled in by mistake.
size=$(wc -c <"$dll")
[ "$size" -lt 131072 ] || fail "velkar.dll is $size bytes, not under 128 KiB"

exports=$(printf '%s\n' "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p')
[ "$exports" = "pluginInit" ] || fail "exports are '$exports', expected exactly 'pluginInit'"

imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "no imports found"
for name in $imports; do
    case $(printf '%s' "$name" | tr '[:upper:]' '[:lower:]') in
        kernel32.dll | user32.dll | advapi32.dll | msvcrt.dll) ;;
        *) fail "imports $name, which a bare Windows does not have" ;;
    esac
done

for symbol in pluginInit@4 onHostCommand@12; do
    grep -q "[[:space:]]$symbol\$" "$map" || fail "symbol $symbol not in the link map"
done

# The callee must pop its arguments: the first return of each entry point
# has to be 'ret $N'.
image_base=$(printf '%s\n' "$headers" | sed -n 's/^ImageBase[[:space:]]*//p')
first_return() {
    start=$1
    stop=$(printf '0x%x' $((start + 4096)))
    "$objdump" -d --start-address="$start" --stop-address="$stop" "$dll" |
        grep -m1 -E '[[:space:]]ret' | sed 's/.*ret[[:space:]]*//'
}
export_rva=$(printf '%s\n' "$headers" | sed -n 's/.*+base\[ *1\] \([0-9a-f]*\) Export RVA.*/\1/p')
init_address=$(printf '0x%x' $((0x$image_base + 0x$export_rva)))
[ "$(first_return "$init_address")" = '$0x4' ] || fail "pluginInit does not return with 'ret \$0x4'"
callback_address=$(sed -n 's/^[[:space:]]*\(0x[0-9a-f]*\)[[:space:]]*onHostCommand@12$/\1/p' "$map")
if [ -n "$callback_address" ]; then
    [ "$(first_return "$callback_address")" = '$0xc' ] || fail "onHostCommand does not return with 'ret \$0xc'"
fi

# The version resource names the product; its strings are UTF-16, unlike
# the display name the code writes.
i686-w64-mingw32-strings -el "$dll" | grep -qxF "Tamsel's Velkar" ||
    fail "the version resource does not name the product"

# The text files the package ships are opened in Notepad: every line ends
# in CRLF.
for text in README.txt velkar.ini; do
    if [ ! -s "$build_dir/$text" ]; then
        fail "$build_dir/$text is missing"
    elif [ "$(grep -c "$(printf '\r')\$" "$build_dir/$text")" -ne "$(wc -l <"$build_dir/$text")" ]; then
        fail "$text has lines without Windows line ends"
    fi
done

if [ $failures -ne 0 ]; then exit 1; fi
echo "velkar.dll: exports pluginInit only; imports $(echo $imports); stdcall entry points pop 4 and 12 bytes; README.txt and velkar.ini end lines in CRLF"
