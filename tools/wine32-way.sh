# How this machine runs 32-bit x86 programs (the 32-bit Wine that runs the
# shipped DLL): natively, where the kernel can, or through QEMU's user mode,
# which a binfmt_misc entry names. The kernel consults binfmt_misc before
# its own ELF loader, so an enabled entry wins even where the kernel could
# run the program itself. Sourced by tools/install-deps.sh and tools/test.sh.

emulator=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc

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

# register_emulator PREFIX: registers PREFIXqemu-i386 and PREFIXqemu-i386-so
# where missing; prints the names it registered.
register_emulator() {
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
    for entry in "qemu-i386 \\x02" "qemu-i386-so \\x03"; do
        name=$1${entry% *}
        [ -e "$binfmt/$name" ] && continue
        binfmt_line "$name" "${entry#* }" >"$binfmt/register" && printf '%s ' "$name"
    done
}

# The enabled binfmt_misc entries that hand programs to QEMU's i386 emulator.
qemu_i386_entries() {
    for entry in "$binfmt"/*; do
        if [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null &&
            grep -q '^interpreter .*qemu-i386' "$entry"; then
            printf '%s ' "${entry##*/}"
        fi
    done
}

# Says which way 32-bit programs run here now.
wine32_way() {
    entries=$(qemu_i386_entries)
    if ! runs_i386_programs; then
        echo "not at all (this kernel runs no 32-bit programs and no emulator is registered)"
    elif [ -n "$entries" ]; then
        echo "through QEMU's user mode (binfmt_misc: ${entries% })"
    else
        echo "natively"
    fi
}

# use_wine32_way qemu|native: makes 32-bit programs run that way until
# restore_wine32_way: qemu registers the emulator where no entry names it,
# native switches the entries off (and fails, changing nothing, where the
# kernel cannot run them itself). Needs root; says why and returns
# non-zero when it cannot.
registered_here=
disabled_here=
use_wine32_way() {
    case $1 in
        qemu)
            [ -n "$(qemu_i386_entries)" ] && return 0
            [ -x "$emulator" ] || { echo "QEMU's user mode is not installed (qemu-user-static)" >&2; return 1; }
            registered_here=$(register_emulator velkar-)
            [ -n "$(qemu_i386_entries)" ] || { echo "the emulator could not be registered" >&2; return 1; }
            ;;
        native)
            for name in $(qemu_i386_entries); do
                echo 0 >"$binfmt/$name" && disabled_here="$disabled_here $name"
            done
            if ! runs_i386_programs; then
                restore_wine32_way
                echo "this kernel does not run 32-bit programs itself" >&2
                return 1
            fi
            ;;
        *) echo "the way is qemu or native, not $1" >&2; return 1 ;;
    esac
}

restore_wine32_way() {
    for name in $registered_here; do echo -1 >"$binfmt/$name"; done
    for name in $disabled_here; do echo 1 >"$binfmt/$name"; done
    registered_here=
    disabled_here=
}
