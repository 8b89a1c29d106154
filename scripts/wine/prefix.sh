# Wine prefix handling for the tests and the demo. Source this file, then:
#
#   wine_prefix_init DIR     pick the Wine loader for this machine, make (or
#                            reuse) the prefix DIR and export WINEPREFIX,
#                            WINEDLLOVERRIDES and WINEDEBUG
#   wine_prefix_init32 DIR   the same for a 32-bit-only prefix (x86 only)
#   wine_server_start        keep this prefix's wineserver running (-p)
#   wine_server_stop         stop this prefix's wineserver only
#   wine_suite ARCH          run the spooler suite of $BUILD_ROOT/windows-ARCH
#                            in this prefix: $WORK/suite-ARCH.log and .rc
#   wine_suite_report ARCH...  the suites' counts from those logs; non-zero
#                            if one failed, crashed or ran past its time
#
# Scripts that source it call wine_server_stop on exit (see the traps in
# test.sh and demo.sh); no other prefix's wineserver is touched.
#
# Where this machine runs no 32-bit programs, or with NORV_WINE_ARCHES=x64
# (scripts/machine.sh), Debian's `wine` wrapper cannot be used: it runs the
# 32-bit loader whenever wine32 is installed. Then `wine` and `wineboot` on
# PATH are the 64-bit loader's, and the prefix is a 64-bit one.

# Mono and Gecko are not needed and would prompt for downloads.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
WINE_LOADER64="${WINE_LOADER64:-/usr/lib/wine/wine64}"

# shellcheck source=../machine.sh
. "$(dirname "${BASH_SOURCE[0]}")/../machine.sh"

wine_select_loader() {
    machine_wine_arches || return 1
    export WINE_ARCHES="$MACHINE_WINE_ARCHES"
    [ "$WINE_ARCHES" = "x64" ] || return 0
    if [ ! -x "$WINE_LOADER64" ]; then
        echo "wine: $WINE_LOADER64 is missing; install wine64 (scripts/wine/setup.sh)" >&2
        return 1
    fi
    local bin="${NORV_BUILD_ROOT:-$MACHINE_ROOT/build}/wine64-bin"
    mkdir -p "$bin"
    printf '#!/bin/sh\nexec "%s" "$@"\n' "$WINE_LOADER64" >"$bin/wine"
    printf '#!/bin/sh\nexec "%s" wineboot.exe "$@"\n' "$WINE_LOADER64" >"$bin/wineboot"
    chmod +x "$bin/wine" "$bin/wineboot"
    case ":$PATH:" in *":$bin:"*) ;; *) export PATH="$bin:$PATH" ;; esac
    export WINELOADER="$WINE_LOADER64" WINEARCH=win64
}

wine_prefix_init() {
    local dir="$1" log timeout="${NORV_WINEBOOT_TIMEOUT:-300}" rc arches
    wine_select_loader || return 1
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
    WINEARCH=win32 NORV_PREFIX_ARCHES=x86 wine_prefix_init "$1"
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

wine_suite() {
    local arch=$1 other
    wine_server_start
    echo "wine: running the $arch suite"
    # Leftovers of an interrupted run: the suite starts uninstalled.
    for other in $WINE_ARCHES; do
        (cd "$BUILD_ROOT/windows-$other" 2>/dev/null && wine ./norvinst.exe uninstall >/dev/null 2>&1)
    done
    (cd "$BUILD_ROOT/windows-$arch" &&
        timeout "${SUITE_TIMEOUT:-600}" wine ./norv_spooler_tests.exe --gtest_color=no) \
        >"$WORK/suite-$arch.log" 2>&1
    echo $? >"$WORK/suite-$arch.rc"
    grep -v -e "^wine: Read access denied for device" -e "^[0-9a-f]*:fixme:" "$WORK/suite-$arch.log"
    wine_server_stop
}

wine_suite_report() {
    local arch log rc ran passed skipped failed total_passed=0 total_failed=0 status=0
    echo
    echo "Wine suites:"
    for arch in "$@"; do
        log="$WORK/suite-$arch.log"
        rc="$(cat "$WORK/suite-$arch.rc" 2>/dev/null || echo 1)"
        ran="$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log" 2>/dev/null | tail -1)"
        passed="$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" 2>/dev/null | tail -1)"
        skipped="$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$log" 2>/dev/null | tail -1)"
        ran="${ran:-0}"; passed="${passed:-0}"; skipped="${skipped:-0}"
        failed=$((ran - passed - skipped))
        if [ "$rc" = 124 ]; then
            echo "  $arch: the suite ran past ${SUITE_TIMEOUT:-600} s and was stopped; on a slow machine set" \
                "NORV_WINE_SUITE_TIMEOUT to more seconds (see $log)"
        fi
        if [ "$rc" != 0 ] && [ "$failed" -eq 0 ]; then
            failed=1   # crashed or timed out before GoogleTest's summary
            echo "  $arch: the suite exited with status $rc (see $log)"
        fi
        [ "$rc" != 0 ] && status=1
        echo "  $arch: $passed passed, $failed failed, $skipped skipped"
        total_passed=$((total_passed + passed))
        total_failed=$((total_failed + failed))
    done
    [ "$total_failed" -ne 0 ] && status=1
    echo "wine: $total_passed passed, $total_failed failed"
    return "$status"
}

# Windows path (Z: drive) of a Unix path.
wine_path() {
    printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr '/' '\\'
}
