#!/bin/sh
# Installs what the build and the tests need, when missing, and readies this
# machine to run the shipped 32-bit DLL under Wine. Safe to run again.
# As root it installs; otherwise it prints the exact lines to run, and stops
# only when something the build cannot do without is missing (without Wine,
# or without its 32-bit side, the runs that need them are skipped).
# Usage: tools/install-deps.sh build|test|ci
set -eu

required="cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 libjsmn-dev nsis librsvg2-bin strip-nondeterminism osslsigncode openssl git"
# Wine runs the demo and the end-to-end tests; without it they are skipped.
optional="wine wine64"
case ${1:-build} in
    # ffmpeg, mutagen and mkvpropedit write the tagged media files the tag tests read.
    test) required="$required libgtest-dev libbenchmark-dev ffmpeg python3-mutagen mkvtoolnix" ;;
    ci) required="$required libgtest-dev libbenchmark-dev ffmpeg python3-mutagen mkvtoolnix clang libclang-rt-14-dev" ;;
esac
# The 32-bit Wine, which runs the shipped DLL. Without wine32-preloader its
# loader fails to map the shared user data.
wine32_packages="wine32:i386 wine32-preloader:i386"
. "$(dirname "$0")/wine32-way.sh"

is_root() { [ "$(id -u)" -eq 0 ]; }

missing_of() {
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            printf ' %s' "$package"
        fi
    done
}

# Why some of the package indexes are missing, once an update has failed.
index_problem=
apt_update_log=$(mktemp "${TMPDIR:-/tmp}/velkar-apt-update.XXXXXX")
trap 'rm -f "$apt_update_log"' EXIT

# Updates the package indexes. A mirror in mid-sync serves an index that
# does not match its signed list ("File has unexpected size"): tried again
# after a pause, then the indexes at hand are used.
apt_update() {
    for pause in 10 30 0; do
        if apt-get update -q >"$apt_update_log" 2>&1; then
            index_problem=
            return 0
        fi
        index_problem=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$apt_update_log" | head -n 1)
        index_problem=${index_problem:-$(grep '^E: ' "$apt_update_log" | head -n 1)}
        [ $pause -eq 0 ] && break
        echo "A package index failed to download ($index_problem); trying again in $pause s." >&2
        sleep $pause
    done
    echo "Going on with the package indexes at hand; $index_problem failed to download." >&2
}

apt_install() {
    echo "Installing:$*"
    # shellcheck disable=SC2068
    if DEBIAN_FRONTEND=noninteractive apt-get install -y -q $@; then return 0; fi
    refused=
    for package in "$@"; do
        apt-get install -s -q "$package" >/dev/null 2>&1 || refused="$refused $package"
    done
    if [ -n "$index_problem" ]; then
        echo "Could not install${refused:- $*}: the package index $index_problem failed to download (a mirror in mid-sync); running this command again later usually helps." >&2
    else
        echo "Could not install${refused:- $*}: apt-get refused (see above); running this command again later may help." >&2
    fi
    exit 1
}

print_emulator_lines() {
    [ -z "$(missing_of qemu-user-static)" ] || echo "    sudo apt-get install -y qemu-user-static"
    echo "    sudo sh -c 'mountpoint -q $binfmt || mount -t binfmt_misc binfmt_misc $binfmt'"
    echo "    sudo sh -c \"printf '%s' '$(binfmt_line qemu-i386 '\x02')' > $binfmt/register\""
    echo "    sudo sh -c \"printf '%s' '$(binfmt_line qemu-i386-so '\x03')' > $binfmt/register\""
}

# Ordinary packages first.
# shellcheck disable=SC2086
missing_required=$(missing_of $required)
# shellcheck disable=SC2086
missing_optional=$(missing_of $optional)
missing="$missing_required$missing_optional"
if [ -n "$missing" ]; then
    if is_root; then
        apt_update
        apt_install $missing
    else
        echo "Missing packages. Install them with:" >&2
        echo "    sudo apt-get update && sudo apt-get install -y$missing" >&2
        [ -z "$missing_required" ] || exit 1
    fi
fi

# Then the 32-bit side of Wine. The emulator comes first where the kernel
# cannot run 32-bit programs itself: some i386 packages run 32-bit programs
# while they are configured. Its registration does not survive a reboot,
# which is why it is checked on every run.
steps=""
if ! runs_i386_programs; then
    if is_root; then
        [ -z "$(missing_of qemu-user-static)" ] || { apt_update; apt_install qemu-user-static; }
        register_emulator "" >/dev/null
        runs_i386_programs || echo "Warning: 32-bit programs still do not run; the 32-bit Wine runs will be skipped." >&2
    else
        steps=emulator
    fi
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if is_root; then
        dpkg --add-architecture i386
        apt_update
    else
        steps="$steps architecture"
    fi
fi
# shellcheck disable=SC2086
missing_wine32=$(missing_of $wine32_packages)
if [ -n "$missing_wine32" ]; then
    if is_root; then
        apt_install $missing_wine32
    else
        steps="$steps wine32"
    fi
fi
if [ -n "$steps" ]; then
    {
        echo "The shipped DLL is 32-bit; to run it under Wine this machine needs, as root:"
        case $steps in *emulator*) print_emulator_lines ;; esac
        case $steps in *architecture*) echo "    sudo dpkg --add-architecture i386 && sudo apt-get update" ;; esac
        case $steps in *wine32*) echo "    sudo apt-get install -y$missing_wine32" ;; esac
        echo "Going on without it: the 32-bit Wine runs are skipped."
    } >&2
fi
exit 0
