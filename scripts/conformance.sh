#!/usr/bin/env bash
# Runs the conformance tests of both Windows builds under Wine: the DLL loaded
# directly over real Win32, with the expectations the native suite checks
# over our Win32 layer. Expects both windows presets built.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=wine/prefix.sh
. "$ROOT/scripts/wine/prefix.sh"
wine_prefix_init "$ROOT/build/wine-conformance/prefix" || exit 1
trap wine_server_stop EXIT
wine_server_start
# No display: the message boxes of DeletePort return at once.
unset DISPLAY
status=0
for arch in x86 x64; do
    echo "conformance: windows-$arch"
    (cd "$ROOT/build/windows-$arch" && timeout 600 wine conformance_tests.exe) || status=1
done
exit $status
