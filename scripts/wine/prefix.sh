# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# Wine prefixes for the tests and the demo. Source this file, then:
#
#   wine_prefix_init DIR [ARCH]  picks the Wine for ARCH (loader.sh; default
#                            x64), makes (or reuses) the prefix DIR and
#                            exports WINEPREFIX, WINEDLLOVERRIDES and WINEDEBUG
#   wine_prefix_init32 DIR   the same for a 32-bit-only prefix (x86 only)
#   wine_server_start        keep this prefix's wineserver running (-p)
#   wine_server_stop         stop this prefix's wineserver only
#   wine_path PATH           the Windows path (Z: drive) of a Unix path
#
# Scripts that source it call wine_server_stop on exit (see the traps in
# test.sh and demo.sh); no other prefix's wineserver is touched.

# shellcheck source=loader.sh
. "$(dirname "${BASH_SOURCE[0]}")/loader.sh"

wine_prefix_init() {
    local dir="$1" log timeout="${NORV_WINEBOOT_TIMEOUT:-300}" rc arches
    wine_select_loader "${2:-}" || return 1
    arches="${NORV_PREFIX_ARCHES:-$WINE_ARCHES}"
    mkdir -p "$(dirname "$dir")"
    export WINEPREFIX
    WINEPREFIX="$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")"
    log="$(dirname "$WINEPREFIX")/wineboot.log"
    # A prefix made for other architectures is made again: a 64-bit-only one
    # lacks the 32-bit half, and the other way round the loader differs.
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ "$(cat "$WINEPREFIX/.norv-arches" 2>/dev/null)" != "$arches" ] ||
        { [ "$arches" != x64 ] && [ "$arches" != x86 ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; }; then
        echo "wine: creating the prefix $WINEPREFIX ($arches)"
        [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"; }
        timeout "$timeout" wineboot -i >"$log" 2>&1 && timeout "$timeout" wineserver -w
        rc=$?
        if [ "$rc" -ne 0 ]; then
            if [ "$rc" -eq 124 ]; then
                echo "wine: wineboot ran past ${timeout} s; on a slow machine set NORV_WINEBOOT_TIMEOUT" \
                    "to more seconds (log: $log)" >&2
            else
                echo "wine: wineboot failed (exit $rc) with the loader for $WINE_ARCHES; see $log:" >&2
                tail -n 5 "$log" | sed 's/^/  /' >&2
            fi
            wineserver -k 2>/dev/null
            return 1
        fi
        echo "$arches" >"$WINEPREFIX/.norv-arches"
    fi
    # Without a window manager (Xvfb has none), Wine waits two seconds for
    # every closed top-level window to be withdrawn; unmanaged windows are
    # not waited for.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crashing program must end its test run, not wait on a crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    timeout "$timeout" wineserver -w
}

# A 32-bit-only prefix, a 32-bit Windows: where the x86 norvinst installs the
# monitor (on a 64-bit Windows only the x64 build may). Needs x86 in WINE_ARCHES.
wine_prefix_init32() {
    WINEARCH=win32 NORV_PREFIX_ARCHES=x86 wine_prefix_init "$1" x86
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
    printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr '/' "\\\\"
}
