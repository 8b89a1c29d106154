# Wine prefix handling for the tests and the demo. Source this file, then:
#
#   wine_prefix_init DIR     make (or reuse) the prefix DIR and export
#                            WINEPREFIX, WINEDLLOVERRIDES and WINEDEBUG
#   wine_server_start        keep this prefix's wineserver running (-p)
#   wine_server_stop         stop this prefix's wineserver only
#
# Scripts that source it call wine_server_stop on exit (see the traps in
# test.sh and demo.sh); no other prefix's wineserver is touched.

# Mono and Gecko are not needed and would prompt for downloads.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"

wine_prefix_init() {
    local dir="$1"
    mkdir -p "$(dirname "$dir")"
    export WINEPREFIX
    WINEPREFIX="$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")"
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
        echo "wine: creating the prefix $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        wineboot -i >"$(dirname "$WINEPREFIX")/wineboot.log" 2>&1 || {
            echo "wine: wineboot failed, see $(dirname "$WINEPREFIX")/wineboot.log" >&2
            return 1
        }
        wineserver -w
    fi
    # Without a window manager (Xvfb has none), Wine waits two seconds for
    # every closed top-level window to be withdrawn; unmanaged windows are
    # not waited for.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crashing program must end its test run, not wait on a crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
}

wine_server_start() {
    wineserver -p
}

wine_server_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
}

# Windows path (Z: drive) of a Unix path.
wine_path() {
    printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr '/' '\\'
}
