#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs the Wine-hosted spooler suite (tests/wine) under a second host, Debian
# 13's Wine 10, in the cached amd64 root made by root_make.sh (a fresh prefix
# each run, Xvfb from this machine).
#
# Usage: scripts/wine/wine10_test.sh [--probe] [--no-build]
#   --probe     only ask whether this machine can run it: exit 77 with the
#               reason on stdout when it cannot (no root and no password-less
#               sudo, no debootstrap, or NORV_WINE10=0)
#   --no-build  use the existing build/windows-x64
# Logs: build/wine10/suite-x64.log and .rc, this run's alone: the last run's
# go first, and the run's own exit status counts.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
# shellcheck source=root_probe.sh
. "$ROOT/scripts/wine/root_probe.sh"
# shellcheck source=root_step.sh
. "$ROOT/scripts/wine/root_step.sh"
# shellcheck source=root_run.sh
. "$ROOT/scripts/wine/root_run.sh"
# shellcheck source=suite_report.sh
. "$ROOT/scripts/wine/suite_report.sh"
wine10_ready() {
    if [ "${NORV_WINE10:-1}" = 0 ]; then ROOT_LEFT_OUT="NORV_WINE10=0 leaves it out"; return 77; fi
    root_can_make
}
root_step wine10_ready "$@"

out="$BUILD_ROOT/wine10"
rm -rf "$out" && mkdir -p "$out" || exit 1
dir="$BUILD_ROOT/windows-x64"
if [ "$ROOT_BUILD" -eq 1 ]; then
    (cd "$ROOT" && cmake --preset windows-x64 >/dev/null && cmake --build --preset windows-x64 -j2) ||
        { echo "wine10: the windows-x64 build failed" >&2; exit 1; }
fi
for file in norvmon.dll norvmon2.dll norvmonui.dll norvinst.exe norv_spooler_tests.exe; do
    [ -f "$dir/$file" ] || { echo "wine10: $dir/$file is missing; build the windows-x64 preset" >&2; exit 1; }
done

root="$(root_sudo bash "$ROOT/scripts/wine/root_make.sh" wine10 | tail -n1)" && [ -d "$root" ] || exit 1
# The x86 suite installs with the x86 norvinst, which wants a 32-bit Windows:
# a 32-bit prefix, which only the old mode's wine32:i386 makes. WoW64 mode
# runs 32-bit programs in 64-bit prefixes only.
if [ -f "$root/usr/lib/x86_64-linux-gnu/wine/i386-windows/kernel32.dll" ]; then
    echo "wine10: the x86 suite is left out: it needs a 32-bit prefix, and Wine 10's WoW64 mode makes 64-bit ones only"
else
    echo "wine10: the x86 suite is left out: Debian 13's Wine 10 has no WoW64 mode (its 64-bit Wine carries no 32-bit DLLs; 32-bit programs need wine32:i386, the old mode)"
fi
run="$(root_run_dir "$root")" || exit 1
trap 'rm -rf --one-file-system "$run"' EXIT
mkdir -p "$run/windows-x64" "$run/scripts/wine"
cp "$dir"/*.dll "$dir"/*.exe "$run/windows-x64/"
cp "$ROOT/scripts/machine.sh" "$run/scripts/"
for file in loader.sh root_contents.sh prefix.sh suite_run.sh wine10_in_root.sh; do
    cp "$ROOT/scripts/wine/$file" "$run/scripts/wine/"
done
inner="${run#"$root"}"
root_run "$root" "$inner" "$inner/scripts/wine/wine10_in_root.sh"
rc=$?
cp "$run"/suite-x64.log "$out/" 2>/dev/null
echo "$rc" >"$out/suite-x64.rc"
[ "$rc" -eq 0 ] || echo "wine10: the run in the root ended with exit status $rc"
WORK="$out" wine_suite_report x64
