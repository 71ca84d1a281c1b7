# Shell helpers to run the plug-in under Wine: host-sim loads a velkar.dll,
# messenger-sim (always 64-bit) stands in for the messenger in another
# process of the same prefix. Sourced by the Wine tests and the demo.
#
# wine_use_target SOURCE_DIR win32|win64 picks the DLL and the host-sim of
# that build; WINEPREFIX must name a private prefix (created on first use).

export WINEDEBUG=-all
# Debian's loaders: the 32-bit one runs the shipped DLL's host, the 64-bit
# one the twin and messenger-sim (starting 64-bit programs directly spares
# the 32-bit loader's start, which is slow under an emulator).
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64
# Wine takes the ANSI code page from the locale's name (installed or not);
# the plug-in's users mostly run code page 1252, and the tests expect it.
: "${VELKAR_WINE_LOCALE:=en_US.UTF-8}"

# Why the 32-bit side cannot run, found once (a start of the 32-bit loader
# is slow under an emulator); empty when it can.
if [ ! -x "$WINE32_LOADER" ] || [ ! -x "$WINE32_LOADER-preloader" ]; then
    WINE32_PROBLEM="the 32-bit Wine is not installed (wine32:i386 and wine32-preloader:i386; tools/install-deps.sh as root installs them)"
elif ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
    WINE32_PROBLEM="this machine cannot execute 32-bit programs (tools/install-deps.sh as root registers QEMU's emulator)"
else
    WINE32_PROBLEM=
fi

if [ -x "$WINE64_LOADER" ]; then
    WINE64=$WINE64_LOADER
    # Without a usable 32-bit side, processes Wine starts use the 64-bit loader too.
    [ -z "$WINE32_PROBLEM" ] || export WINELOADER=$WINE64_LOADER
else
    WINE64=wine
fi

# Prints why TARGET (win32 or win64) cannot run under Wine here; nothing when it can.
wine_unavailable_reason() {
    if ! command -v wine >/dev/null 2>&1 || ! command -v wineserver >/dev/null 2>&1; then
        echo "Wine is not installed (tools/install-deps.sh as root installs it)"
    elif [ "$1" = win32 ] && [ -n "$WINE32_PROBLEM" ]; then
        echo "$WINE32_PROBLEM"
    fi
}

# wine_require TARGET WHAT: ends a test that cannot run TARGET here: skipped
# (status 77) with the reason, or failed where VELKAR_REQUIRE_WINE is set
# (CI, which sets Wine up as root, must run every scenario).
wine_require() {
    reason=$(wine_unavailable_reason "$1")
    [ -z "$reason" ] && return 0
    if [ -n "${VELKAR_REQUIRE_WINE:-}" ]; then
        echo "FAIL: $2, but $reason"
        exit 1
    fi
    echo "SKIPPED: $2, but $reason"
    exit 77
}

# wine_use_target SOURCE_DIR TARGET: the DLL and host-sim of build/TARGET,
# and the loader that runs them; messenger-sim comes from build/win64.
wine_use_target() {
    VELKAR_HOST_DIR=$1/build/$2
    VELKAR_MESSENGER_DIR=${VELKAR_MESSENGER_DIR:-$1/build/win64}
    if [ "$2" = win32 ]; then HOST_WINE=$WINE32_LOADER; else HOST_WINE=$WINE64; fi
}

# The Windows name of a Unix path, through Wine's Z: drive.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# Creates the prefix once, with the null graphics driver so that windows and
# message boxes work without a display. A prefix made while the 32-bit Wine
# was missing has no 32-bit side: it is made again once that Wine runs.
wine_prepare_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    sides=win64
    [ -z "$(wine_unavailable_reason win32)" ] && sides="win32 win64"
    # What the marker records: a prefix made otherwise is made again.
    sides="$sides, no crash debugger"
    (
        # Several callers may start at once; one creates, the others wait.
        flock 9
        marker=$WINEPREFIX/.velkar-ready
        if [ -f "$marker" ] && [ "$(cat "$marker")" != "$sides" ]; then
            wineserver -k >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
        fi
        if [ ! -f "$marker" ]; then
            # No network here: skip the offers to download Mono and Gecko.
            WINEDLLOVERRIDES='mscoree,mshtml=' "$WINE64" wineboot -i >/dev/null 2>&1 || true
            "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
            # A process that crashes ends at once: Wine's own debugger (its
            # choice where none is set) may hang under an emulator and hold
            # the prefix for every later test. The one set here does nothing.
            for view in 32 64; do
                "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                    /v Debugger /d 'cmd.exe /c exit' /f /reg:$view >/dev/null 2>&1 || true
            done
            wineserver -w
            echo "$sides" >"$marker"
        fi
    ) 9>"$WINEPREFIX.lock"
}

wine_reg_set_app_path() {
    "$WINE64" reg add 'HKCU\SOFTWARE\BST\bsplayerv1' /v AppPath /d "$1" /f >/dev/null 2>&1
}
wine_reg_remove_app_path() {
    "$WINE64" reg delete 'HKCU\SOFTWARE\BST\bsplayerv1' /f >/dev/null 2>&1 || true
}

# await_file FILE PROGRAM: waits up to 30 s for PROGRAM to make FILE, its
# sign that it has begun.
await_file() {
    tries=0
    while [ ! -f "$1" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ]; then echo "$2 did not start" >&2; return 1; fi
        sleep 0.1
    done
}

# messenger_start DIR WINDOWS [EXTRA OPTIONS...]: starts messenger-sim logging
# to DIR/messenger.log and waits until its windows exist.
messenger_start() {
    session_dir=$1
    window_count=$2
    shift 2
    rm -f "$session_dir/ready" "$session_dir/stop"
    LC_ALL=$VELKAR_WINE_LOCALE "$WINE64" "$VELKAR_MESSENGER_DIR/messenger-sim.exe" --windows "$window_count" \
        --log "$(windows_path "$session_dir/messenger.log")" \
        --ready "$(windows_path "$session_dir/ready")" \
        --stop "$(windows_path "$session_dir/stop")" --seconds 60 "$@" \
        >"$session_dir/messenger.raw" 2>&1 &
    messenger_pid=$!
    await_file "$session_dir/ready" messenger-sim
}

messenger_stop() {
    touch "$session_dir/stop"
    wait "$messenger_pid" 2>/dev/null || true
    tr -d '\r' <"$session_dir/messenger.raw" >"$session_dir/messenger.out"
}

# overlay_start DIR MODE FILE [MS]: starts overlay-sim (always 64-bit)
# reading FILE (a Windows path) in MODE (--poll, logging to DIR/overlay.log,
# or --hold, for MS milliseconds when given), and waits until it has begun.
overlay_start() {
    overlay_dir=$1
    rm -f "$overlay_dir/overlay-ready" "$overlay_dir/overlay-stop" "$overlay_dir/overlay.log"
    LC_ALL=$VELKAR_WINE_LOCALE "$WINE64" "$VELKAR_MESSENGER_DIR/overlay-sim.exe" "$2" --file "$3" \
        --log "$(windows_path "$overlay_dir/overlay.log")" \
        --ready "$(windows_path "$overlay_dir/overlay-ready")" \
        --stop "$(windows_path "$overlay_dir/overlay-stop")" ${4:+--for "$4"} >"$overlay_dir/overlay.out" 2>&1 &
    overlay_pid=$!
    await_file "$overlay_dir/overlay-ready" overlay-sim
}

overlay_stop() {
    touch "$overlay_dir/overlay-stop"
    wait "$overlay_pid" 2>/dev/null || true
}

# discord_start DIR [OPTIONS...]: starts discord-sim (always 64-bit) logging
# to DIR/discord.log (kept across starts), and waits until it listens.
discord_start() {
    discord_dir=$1
    shift
    rm -f "$discord_dir/discord-ready" "$discord_dir/discord-stop"
    "$WINE64" "$VELKAR_MESSENGER_DIR/discord-sim.exe" --log "$(windows_path "$discord_dir/discord.log")" \
        --ready "$(windows_path "$discord_dir/discord-ready")" \
        --stop "$(windows_path "$discord_dir/discord-stop")" --seconds 110 "$@" \
        >>"$discord_dir/discord.out" 2>&1 &
    discord_pid=$!
    await_file "$discord_dir/discord-ready" discord-sim
}

discord_stop() {
    touch "$discord_dir/discord-stop"
    wait "$discord_pid" 2>/dev/null || true
}

# host_run DIR ARGS...: runs host-sim (or VELKAR_HOST_SIM, another build of
# it, when set) with the target's DLL (or VELKAR_DLL when set), output in
# DIR/host.out.
host_run() {
    run_dir=$1
    shift
    LC_ALL=$VELKAR_WINE_LOCALE "$HOST_WINE" "$VELKAR_HOST_DIR/${VELKAR_HOST_SIM:-host-sim.exe}" \
        "$(windows_path "${VELKAR_DLL:-$VELKAR_HOST_DIR/velkar.dll}")" "$@" >"$run_dir/host.raw" 2>&1
    host_status=$?
    # The C runtime writes text-mode line ends.
    tr -d '\r' <"$run_dir/host.raw" >"$run_dir/host.out"
    return $host_status
}
