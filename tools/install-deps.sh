#!/bin/sh
# Installs what the build and the tests need, when missing, and readies this
# machine to run the shipped 32-bit DLL under Wine. Safe to run again.
# As root it installs; otherwise it prints the exact lines to run, and stops
# only when something the build cannot do without is missing (without Wine,
# or without its 32-bit side, the runs that need them are skipped).
# Usage: tools/install-deps.sh build|test|ci
set -eu

required="cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 libjsmn-dev nsis strip-nondeterminism osslsigncode openssl git"
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
emulator=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc

is_root() { [ "$(id -u)" -eq 0 ]; }

missing_of() {
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            printf ' %s' "$package"
        fi
    done
}

apt_install() {
    echo "Installing:$*"
    # shellcheck disable=SC2068
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $@
}

# Whether this machine executes 32-bit x86 Linux programs, natively or through
# a registered emulator: a 96-byte static program that exits with status 3.
runs_i386_programs() {
    probe=$(mktemp "${TMPDIR:-/tmp}/velkar-i386-probe.XXXXXX")
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\003\000\000\000\315\200' >"$probe"
    chmod +x "$probe"
    status=0
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    [ $status -eq 3 ]
}

# The binfmt_misc lines that hand 32-bit little-endian x86 executables
# (e_type 2) and shared objects (e_type 3) to the emulator. F: the kernel
# opens the emulator now, so it also serves other mount namespaces.
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
elf32='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
# binfmt_line NAME E_TYPE_BYTE: e_ident, e_type, e_machine 3 (x86). Every
# escape goes through %s, for the kernel to read.
binfmt_line() { printf ':%s:M::%s%s%s:%s:%s:F' "$1" "$elf32" "$2" '\x00\x03\x00' "$mask" "$emulator"; }

register_emulator() {
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
    for entry in "qemu-i386 \\x02" "qemu-i386-so \\x03"; do
        name=${entry% *}
        [ -e "$binfmt/$name" ] && continue
        binfmt_line "$name" "${entry#* }" >"$binfmt/register"
    done
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
        apt-get update -q
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
        [ -z "$(missing_of qemu-user-static)" ] || { apt-get update -q; apt_install qemu-user-static; }
        register_emulator
        runs_i386_programs || echo "Warning: 32-bit programs still do not run; the 32-bit Wine runs will be skipped." >&2
    else
        steps=emulator
    fi
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if is_root; then
        dpkg --add-architecture i386
        apt-get update -q
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
