#!/usr/bin/env bash
# Proves the release bundle works: unpacks it, checks SHA256SUMS, and in a
# fresh Wine prefix installs the monitor from the unpacked x64/ folder, adds
# the port C:\Out\Scans with norvinst add-port, lists it with both
# architectures' norvinst, checks it is stored under the highest value,
# refuses a relative path with exit code 7, and uninstalls.
#
# Usage: scripts/wine/bundle_test.sh [ZIP]   (default: the newest build/norvmon-*-windows.zip)
# Prints "bundle: N passed, N failed" and exits non-zero on a failure.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
WORK="$BUILD_ROOT/wine/bundle"
zip="${1:-$(ls -t "$BUILD_ROOT"/norvmon-*-windows.zip 2>/dev/null | head -n1)}"
[ -f "$zip" ] || { echo "bundle: no bundle; run scripts/bundle.sh first" >&2; exit 1; }

bash "$ROOT/scripts/wine/setup.sh" >/dev/null || { echo "bundle: wine setup failed" >&2; exit 1; }

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...: counts and reports one step
    if "${@:2}"; then
        passed=$((passed + 1))
        echo "  ok    $1"
    else
        failed=$((failed + 1))
        echo "  FAIL  $1"
    fi
}

echo "bundle: $zip"
rm -rf "$WORK"
mkdir -p "$WORK/unpacked" "$WORK/output"
check "unpacks" unzip -q "$zip" -d "$WORK/unpacked"
check "SHA256SUMS match" bash -c "cd '$WORK/unpacked' && sha256sum --quiet -c SHA256SUMS"
for file in README.txt x86/norvmon.dll x86/norvmon2.dll x86/norvmonui.dll x86/norvinst.exe \
    x64/norvmon.dll x64/norvmon2.dll x64/norvmonui.dll x64/norvinst.exe \
    arm64/norvmon.dll arm64/norvmon2.dll arm64/norvmonui.dll arm64/norvinst.exe; do
    check "holds $file" test -s "$WORK/unpacked/$file"
done

# shellcheck source=prefix.sh
. "$ROOT/scripts/wine/prefix.sh"
wine_prefix_init "$WORK/prefix" >/dev/null || exit 1
trap wine_server_stop EXIT
wine_server_start
unset DISPLAY  # no dialog is expected; none could wait for an answer

# Each program's output goes to a file of its own: Wine's services keep pipes open.
count=0
run() {  # run EXPECTED_EXIT ARCH ARGS...: norvinst from the unpacked bundle
    count=$((count + 1))
    OUT="$WORK/output/$count.txt"
    (cd "$WORK/unpacked/$2" && wine ./norvinst.exe "${@:3}") >"$OUT" 2>&1
    local rc=$?
    tr -d '\r' <"$OUT" | grep -v -e ':fixme:' -e '^wine: Read access denied' | sed 's/^/        /'
    [ "$rc" -eq "$1" ] || { echo "        (exit code $rc, expected $1)"; return 1; }
}

mkdir -p "$WINEPREFIX/drive_c/Out/Scans"
check "norvinst install (x64, from the bundle)" run 0 x64 install
check "norvinst add-port C:\\Out\\Scans" run 0 x64 add-port 'C:\Out\Scans'
run 0 x64 ports && grep -q 'C:\\Out\\Scans\\ *NORV Monitor' <(tr -d '\r' <"$OUT")
check "norvinst ports (x64) lists C:\\Out\\Scans\\ with NORV Monitor" test $? -eq 0
# wine_prefix_init asked the machine which architectures Wine runs here.
if [[ " $MACHINE_WINE_ARCHES " == *" x86 "* ]]; then
    run 0 x86 ports && grep -q 'C:\\Out\\Scans\\ *NORV Monitor' <(tr -d '\r' <"$OUT")
    check "norvinst ports (x86) lists it too" test $? -eq 0
else
    echo "  skip  norvinst ports (x86): $MACHINE_X86_LEFT_OUT"
fi
key='HKLM\System\CurrentControlSet\Control\Print\Monitors\NORV Monitor'
wine reg query "$key" >"$WORK/output/reg.txt" 2>&1
top="$(tr -d '\r' <"$WORK/output/reg.txt" | awk '$1 ~ /^[0-9]+$/ && $2 == "REG_SZ" {if ($1 + 0 > n) {n = $1 + 0; v = $3}} END {print v}')"
check "stored under the highest value ($top)" test "$top" = 'C:\Out\Scans\'
check "a relative path is refused with exit code 7" run 7 x64 add-port 'Out\Scans'
check "norvinst uninstall" run 0 x64 uninstall
check "nothing left (status: not installed)" run 4 x64 status

echo "bundle: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
