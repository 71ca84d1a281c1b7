# Shell helpers to run the 64-bit twin of the plug-in under Wine, between
# host-sim and messenger-sim. Sourced by the Wine tests and the demo.
# Needs: VELKAR_WIN64_DIR (holding velkar.dll, host-sim.exe, messenger-sim.exe)
# and WINEPREFIX (a private prefix; created on first use).

export WINEDEBUG=-all
: "${WINE:=wine}"
# Wine takes the ANSI code page from the locale's name (installed or not);
# the plug-in's users mostly run code page 1252, and the tests expect it.
: "${VELKAR_WINE_LOCALE:=en_US.UTF-8}"

wine_available() { command -v "$WINE" >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1; }

# The Windows name of a Unix path, through Wine's Z: drive.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# Creates the prefix once, with the null graphics driver so that windows and
# message boxes work without a display.
wine_prepare_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        # Several callers may start at once; one creates, the others wait.
        flock 9
        if [ ! -f "$WINEPREFIX/.velkar-ready" ]; then
            # No network here: skip the offers to download Mono and Gecko.
            WINEDLLOVERRIDES='mscoree,mshtml=' "$WINE" wineboot -i >/dev/null 2>&1 || true
            "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.velkar-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}

wine_reg_set_app_path() {
    "$WINE" reg add 'HKCU\SOFTWARE\BST\bsplayerv1' /v AppPath /d "$1" /f >/dev/null 2>&1
}
wine_reg_remove_app_path() {
    "$WINE" reg delete 'HKCU\SOFTWARE\BST\bsplayerv1' /f >/dev/null 2>&1 || true
}

# messenger_start DIR WINDOWS [EXTRA OPTIONS...]: starts messenger-sim logging
# to DIR/messenger.log and waits until its windows exist.
messenger_start() {
    session_dir=$1
    window_count=$2
    shift 2
    rm -f "$session_dir/ready" "$session_dir/stop"
    LC_ALL=$VELKAR_WINE_LOCALE "$WINE" "$VELKAR_WIN64_DIR/messenger-sim.exe" --windows "$window_count" \
        --log "$(windows_path "$session_dir/messenger.log")" \
        --ready "$(windows_path "$session_dir/ready")" \
        --stop "$(windows_path "$session_dir/stop")" --seconds 60 "$@" \
        >"$session_dir/messenger.raw" 2>&1 &
    messenger_pid=$!
    tries=0
    while [ ! -f "$session_dir/ready" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ]; then echo "messenger-sim did not start" >&2; return 1; fi
        sleep 0.1
    done
}

messenger_stop() {
    touch "$session_dir/stop"
    wait "$messenger_pid" 2>/dev/null || true
    tr -d '\r' <"$session_dir/messenger.raw" >"$session_dir/messenger.out"
}

# host_run DIR ARGS...: runs host-sim with the plug-in, output in DIR/host.out.
host_run() {
    run_dir=$1
    shift
    LC_ALL=$VELKAR_WINE_LOCALE "$WINE" "$VELKAR_WIN64_DIR/host-sim.exe" "$(windows_path "$VELKAR_WIN64_DIR/velkar.dll")" "$@" \
        >"$run_dir/host.raw" 2>&1
    host_status=$?
    # The C runtime writes text-mode line ends.
    tr -d '\r' <"$run_dir/host.raw" >"$run_dir/host.out"
    return $host_status
}
