#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs the Wine-hosted suites: the 32-bit and the 64-bit monitor, each
# installed with its norvinst into Wine's print spooler and driven through
# the spooler under Xvfb.
#
# Usage: scripts/wine/test.sh [--no-build] [x86] [x64]
#   --no-build   use the existing build/windows-x86 and build/windows-x64
#   x86, x64     the suites to run (default: those this machine runs; see
#                scripts/machine.sh and NORV_WINE_ARCHES); x86 runs in the
#                i386 root where wine32:i386 cannot be installed (loader.sh)
#
# Installs what is missing (scripts/wine/setup.sh), builds the Windows
# presets, makes the prefix build/wine/prefix (and build/wine/prefix32, a
# 32-bit Windows, for the x86 suite), runs the suites, stops that
# prefix's wineserver and exits non-zero if any suite failed, crashed or ran
# past NORV_WINE_SUITE_TIMEOUT seconds (default 600).
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
SUITE_TIMEOUT="${NORV_WINE_SUITE_TIMEOUT:-600}"
ARCHES=()

build=1
for arg in "$@"; do
    case "$arg" in
        --no-build) build=0 ;;
        x86|x64) ARCHES+=("$arg") ;;
        -h|--help) sed -n '3,17p' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) echo "test.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

bash "$ROOT/scripts/wine/setup.sh" || { echo "wine: setup failed" >&2; exit 1; }
# shellcheck source=suite_run.sh
. "$ROOT/scripts/wine/suite_run.sh"
# shellcheck source=suite_report.sh
. "$ROOT/scripts/wine/suite_report.sh"
wine_runs || exit 1
if [ "${#ARCHES[@]}" -eq 0 ]; then
    read -ra ARCHES <<<"$WINE_RUNS"
    [ -n "$MACHINE_X86_LEFT_OUT" ] && echo "wine: the x86 suite is left out: $MACHINE_X86_LEFT_OUT"
fi

if [ "$build" -eq 1 ]; then
    for arch in "${ARCHES[@]}"; do
        echo "wine: building the windows-$arch preset"
        (cd "$ROOT" && cmake --preset "windows-$arch" >/dev/null &&
            cmake --build --preset "windows-$arch" -j "$(nproc)") || {
            echo "wine: the windows-$arch build failed" >&2
            exit 1
        }
    done
fi

for arch in "${ARCHES[@]}"; do
    dir="$BUILD_ROOT/windows-$arch"
    for file in norvmon.dll norvinst.exe norv_spooler_tests.exe; do
        if [ ! -f "$dir/$file" ]; then
            echo "wine: $dir/$file is missing; build the windows-$arch preset" >&2
            exit 1
        fi
    done
done

WORK="$BUILD_ROOT/wine"
mkdir -p "$WORK"
# The x86 suite installs with the x86 norvinst, which a 64-bit Windows
# refuses: it runs on a 32-bit one.
if [[ " ${ARCHES[*]} " == *" x86 "* ]]; then
    wine_prefix_init32 "$WORK/prefix32" || exit 1
    wine_server_stop
fi
trap wine_server_stop EXIT
if [[ " ${ARCHES[*]} " == *" x64 "* ]]; then
    wine_prefix_init "$WORK/prefix" x64 || exit 1
    # The desktop must be made with the display that the dialogs use.
    wine_server_stop
fi

export ROOT BUILD_ROOT WORK SUITE_TIMEOUT
export SUITE_ARCHES="${ARCHES[*]}"
rm -f "$WORK"/suite-*.rc
# The outer bound guards against a display that never comes up.
# shellcheck disable=SC2016 # the inner bash expands this script's variables, not this shell
timeout $((SUITE_TIMEOUT * ${#ARCHES[@]} + 120)) xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    . "$ROOT/scripts/wine/suite_run.sh"
    . "$ROOT/scripts/wine/german.sh"
    for arch in $SUITE_ARCHES; do
        if [ "$arch" = x86 ]; then export WINEPREFIX="$WORK/prefix32"; else export WINEPREFIX="$WORK/prefix"; fi
        wine_suite "$arch"
        wine_suite_german "$arch"
    done
'
wine_suite_report "${ARCHES[@]}" "${ARCHES[@]/%/-de}"
