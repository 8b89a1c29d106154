#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs the conformance tests of the Windows builds under Wine: the DLL loaded
# directly over real Win32, with the expectations the native suite checks
# over our Win32 layer. Expects the windows presets built.
#
#   scripts/conformance.sh [x86] [x64]   (default: the architectures this
#                                         machine runs under Wine)
# Each run may take NORV_WINE_SUITE_TIMEOUT seconds (default 600).
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
timeout="${NORV_WINE_SUITE_TIMEOUT:-600}"
# shellcheck source=wine/prefix.sh
. "$ROOT/scripts/wine/prefix.sh"
arches=("$@")
if [ "${#arches[@]}" -eq 0 ]; then
    wine_runs || exit 1
    read -ra arches <<<"$WINE_RUNS"
    [ -n "$MACHINE_X86_LEFT_OUT" ] && echo "conformance: x86 is left out: $MACHINE_X86_LEFT_OUT"
fi
trap wine_server_stop EXIT
# No display: the message boxes of DeletePort return at once.
unset DISPLAY
status=0
for arch in "${arches[@]}"; do
    # The i386 root's Wine (loader.sh) keeps a prefix of its own.
    wine_select_loader "$arch" && wine_prefix_init "$ROOT/build/wine-conformance/prefix$WINE_PREFIX_TAG" "$arch" || exit 1
    wine_server_start
    echo "conformance: windows-$arch"
    (cd "$ROOT/build/windows-$arch" && timeout "$timeout" wine conformance_tests.exe)
    rc=$?
    if [ "$rc" -eq 124 ]; then
        echo "conformance: windows-$arch ran past ${timeout} s and was stopped; on a slow machine" \
            "set NORV_WINE_SUITE_TIMEOUT to more seconds" >&2
    elif [ "$rc" -ne 0 ]; then
        echo "conformance: windows-$arch failed (exit $rc)" >&2
    fi
    [ "$rc" -eq 0 ] || status=1
    wine_server_stop
done
exit $status
