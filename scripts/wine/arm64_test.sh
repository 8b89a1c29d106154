#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Proves the ARM64 build in ARM64 Wine under qemu-user, through its spooler:
# builds the lean checks (tests/wine/arm64), makes or reuses the cached arm64
# root (root_make.sh), and runs them in a fresh prefix there under Xvfb.
#
# Usage: scripts/wine/arm64_test.sh [--probe] [--no-build]
#   --probe     only ask whether this machine can run it: exit 77 with the
#               reason on stdout when it cannot (see arm64_ready.sh)
#   --no-build  use the existing build/windows-arm64
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
# shellcheck source=arm64_ready.sh
. "$ROOT/scripts/wine/arm64_ready.sh"
# shellcheck source=root_step.sh
. "$ROOT/scripts/wine/root_step.sh"
# shellcheck source=root_run.sh
. "$ROOT/scripts/wine/root_run.sh"
root_step arm64_ready "$@"

dir="$BUILD_ROOT/windows-arm64"
sdk="$(bash "$ROOT/scripts/arm64-sdk.sh" | tail -n1)" || exit 1
if [ "$ROOT_BUILD" -eq 1 ]; then
    (cd "$ROOT" && cmake --preset windows-arm64 >/dev/null && cmake --build --preset windows-arm64 -j2) ||
        { echo "arm64: the windows-arm64 build failed" >&2; exit 1; }
fi
out="$BUILD_ROOT/arm64-wine"
rm -rf "$out" && mkdir -p "$out" || exit 1
clang --target=aarch64-w64-mingw32 -fuse-ld=lld -std=c11 -Os -Wall -Wextra -DUNICODE -D_UNICODE \
    -isystem /usr/share/mingw-w64/include -nostdlib -L "$sdk" "$ROOT"/tests/wine/arm64/*.c \
    -o "$out/norv_arm64_checks.exe" -Wl,--entry=mainCRTStartup -Wl,--subsystem=console \
    -lkernel32 -luser32 -ladvapi32 -lwinspool -lmsvcrt || { echo "arm64: the checks do not build" >&2; exit 1; }
for file in norvmon.dll norvmon2.dll norvmonui.dll norvinst.exe; do
    [ -f "$dir/$file" ] || { echo "arm64: $dir/$file is missing; build the windows-arm64 preset" >&2; exit 1; }
done

arm64root="$(root_sudo bash "$ROOT/scripts/wine/root_make.sh" arm64 | tail -n1)" && [ -d "$arm64root" ] || exit 1
run="$(root_run_dir "$arm64root")" || exit 1
trap 'rm -rf --one-file-system "$run"' EXIT
mkdir -p "$run/bin"
cp "$dir"/norvmon.dll "$dir"/norvmon2.dll "$dir"/norvmonui.dll "$dir"/norvinst.exe "$out/norv_arm64_checks.exe" "$run/bin/"
cp "$ROOT/scripts/wine/arm64_in_root.sh" "$run/"
inner="${run#"$arm64root"}"
root_run "$arm64root" "$inner" "$inner/arm64_in_root.sh" 2>&1 | tee "$out/checks.log"
rc=${PIPESTATUS[0]}
ok=$(grep -c '^ok ' "$out/checks.log")
bad=$(grep -c '^FAIL ' "$out/checks.log")
grep -q '^arm64 checks: ' "$out/checks.log" || { echo "arm64: the checks ended before their summary (exit $rc)"; rc=1; }
echo "arm64: $ok checks passed, $bad failed"
[ "$rc" -eq 0 ] && [ "$bad" -eq 0 ]
