# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# Which Wine runs which architecture on this machine, and putting it first on
# PATH. Source it, then:
#
#   wine_runs            sets WINE_RUNS, the architectures some Wine runs here
#                        ("x86 x64" or "x64"), and WINE_X86: "host" (this
#                        machine's wine32:i386), "root" (the i386 root, where
#                        wine32:i386 cannot be installed; see setup.sh) or
#                        empty, with MACHINE_X86_LEFT_OUT saying why
#   wine_select_loader [ARCH]   makes `wine`, `wineboot` and `wineserver` the
#                        ones for ARCH (default x64) and sets WINE_ARCHES, the
#                        architectures a prefix of that Wine holds, and
#                        WINE_PREFIX_TAG, which tells prefixes of the i386
#                        root's Wine from this machine's ("" or "-i386-root"),
#                        and WINE_X86_LEFT_OUT, why a prefix of it runs no
#                        x86 programs (empty when it does)
#
# Debian's `wine` wrapper runs the 32-bit loader whenever wine32 is
# installed, so where x86 is left out `wine` and `wineboot` on PATH are the
# 64-bit loader's, in a 64-bit prefix. The i386 root's Wine runs 32-bit
# prefixes only (WINE_ARCHES=x86); it sees this clone, the build folder and
# /tmp at their own paths (root_enter.sh), so paths mean the same on both sides.

# Mono and Gecko are not needed and would prompt for downloads.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
WINE_LOADER64="${WINE_LOADER64:-/usr/lib/wine/wine64}"
WINE_SCRIPTS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# shellcheck source=../machine.sh
. "$WINE_SCRIPTS/../machine.sh"
# shellcheck source=root_contents.sh
. "$WINE_SCRIPTS/root_contents.sh"

# Where setup.sh leaves its one line on why x86 Wine could not be had.
WINE_X86_NOTE="${NORV_BUILD_ROOT:-$MACHINE_ROOT/build}/wine-x86-left-out"

wine_runs() {
    machine_wine_arches || return 1
    WINE_RUNS="$MACHINE_WINE_ARCHES" WINE_X86=""
    [[ " $WINE_RUNS " == *" x86 "* ]] || return 0
    if machine_installed wine32:i386; then
        WINE_X86=host
    elif root_made i386 && { [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; }; then
        WINE_X86=root
    elif root_made i386; then
        WINE_RUNS=x64
        MACHINE_X86_LEFT_OUT="wine32:i386 is not installed, and entering the i386 root needs root or password-less sudo, which $(id -un) has not"
    else
        WINE_RUNS=x64
        MACHINE_X86_LEFT_OUT="$(cat "$WINE_X86_NOTE" 2>/dev/null)"
        MACHINE_X86_LEFT_OUT="${MACHINE_X86_LEFT_OUT:-wine32:i386 is not installed and there is no i386 root (scripts/wine/setup.sh installs one or makes the other)}"
    fi
    export WINE_RUNS WINE_X86 MACHINE_X86_LEFT_OUT
}

# wine_bin_first DIR: DIR first on PATH, in place of any other wrapper folder.
wine_bin_first() {
    local dir path="" dirs
    IFS=: read -ra dirs <<<"$PATH"
    for dir in "${dirs[@]}"; do
        [[ $dir == */wine64-bin || $dir == */wine-i386-root-bin ]] || path="$path:$dir"
    done
    export PATH="$1$path"
}

wine_select_loader() {
    local arch="${1:-x64}" build="${NORV_BUILD_ROOT:-$MACHINE_ROOT/build}"
    wine_runs || return 1
    WINE_PREFIX_TAG="" WINE_X86_LEFT_OUT=""
    if [ "$arch" = x86 ] && [ "$WINE_X86" = root ]; then
        root_contents i386
        local bin="$build/wine-i386-root-bin" binds=(--bind /tmp --bind "$MACHINE_ROOT") tool
        [[ $build == "$MACHINE_ROOT"/* ]] || binds+=(--bind "$build")
        mkdir -p "$bin" || return 1
        for tool in wine wineboot wineserver; do
            printf '#!/bin/sh\nexec bash %q %q%s -- %s "$@"\n' "$WINE_SCRIPTS/root_enter.sh" "$ROOT_DIR" \
                "$(printf ' %q' "${binds[@]}")" "$tool" >"$bin/$tool" && chmod +x "$bin/$tool" || return 1
        done
        wine_bin_first "$bin"
        unset WINELOADER
        export WINE_ARCHES=x86 WINEARCH=win32 WINE_PREFIX_TAG=-i386-root WINE_X86_LEFT_OUT
        return 0
    fi
    if [ "$WINE_X86" = host ]; then
        export WINE_ARCHES="x86 x64" WINE_X86_LEFT_OUT
        return 0
    fi
    if [ ! -x "$WINE_LOADER64" ]; then
        echo "wine: $WINE_LOADER64 is missing; install wine64 (scripts/wine/setup.sh)" >&2
        return 1
    fi
    local bin="$build/wine64-bin"
    mkdir -p "$bin" || return 1
    printf '#!/bin/sh\nexec "%s" "$@"\n' "$WINE_LOADER64" >"$bin/wine"
    printf '#!/bin/sh\nexec "%s" wineboot.exe "$@"\n' "$WINE_LOADER64" >"$bin/wineboot"
    chmod +x "$bin/wine" "$bin/wineboot" || return 1
    wine_bin_first "$bin"
    WINE_X86_LEFT_OUT="$MACHINE_X86_LEFT_OUT"
    [ "$WINE_X86" = root ] && WINE_X86_LEFT_OUT="x86 runs in the i386 root here (wine32:i386 cannot be installed), whose Wine makes 32-bit prefixes only"
    export WINE_ARCHES=x64 WINELOADER="$WINE_LOADER64" WINEARCH=win64 WINE_X86_LEFT_OUT
}
