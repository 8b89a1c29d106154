#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Proves the release bundle works: unpacks it, checks SHA256SUMS, and in a
# fresh Wine prefix (a 64-bit Windows) installs the monitor from the unpacked
# x64/ folder, adds the port C:\Out\Scans with norvinst add-port, lists it
# with both architectures' norvinst, checks it is stored under the highest
# value by its canonical name, that the x86 norvinst refuses to install
# there, that a port a printer uses is not removed, that register and
# unregister touch no file, refuses a relative path with exit code 7, and
# uninstalls.
#
# Usage: scripts/wine/bundle_test.sh [ZIP]   (default: the newest build/norvmon-*-windows.zip)
# Prints "bundle: N passed, N failed" and exits non-zero on a failure.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
WORK="$BUILD_ROOT/wine/bundle"
# shellcheck disable=SC2012  # the newest zip by time; our own file names
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
if [[ " $WINE_ARCHES " == *" x86 "* ]]; then
    run 0 x86 ports && grep -q 'C:\\Out\\Scans\\ *NORV Monitor' <(tr -d '\r' <"$OUT")
    check "norvinst ports (x86) lists it too" test $? -eq 0
else
    echo "  skip  norvinst ports (x86): $WINE_X86_LEFT_OUT"
fi
key='HKLM\System\CurrentControlSet\Control\Print\Monitors\NORV Monitor'
top_port() {  # the port stored under the highest value
    wine reg query "$key" >"$WORK/output/reg.txt" 2>&1
    tr -d '\r' <"$WORK/output/reg.txt" | awk '$1 ~ /^[0-9]+$/ && $2 == "REG_SZ" {if ($1 + 0 > n) {n = $1 + 0; v = $3}} END {print v}'
}
top="$(top_port)"
check "stored under the highest value ($top)" test "$top" = "C:\\Out\\Scans\\"
says() { grep -q -e "$1" <(tr -d '\r' <"$OUT"); }  # says PATTERN: the last run printed it
system32="$WINEPREFIX/drive_c/windows/system32"

# A 64-bit Windows adds monitors of its own architecture only.
if [[ " $WINE_ARCHES " == *" x86 "* ]]; then
    run 9 x86 install && says 'run the x64 build'
    check "the x86 norvinst refuses to install on 64-bit Windows, naming the x64 build" test $? -eq 0
    run 0 x86 status && says 'Sysnative.norvmon2.dll (x64, present)'
    check "the x86 norvinst's status shows the native x64 DLL" test $? -eq 0
fi
check "the x64 install put the x86 norvmonui.dll in SysWOW64" \
    cmp -s "$WORK/unpacked/x86/norvmonui.dll" "$WINEPREFIX/drive_c/windows/syswow64/norvmonui.dll"

# The name sent is the one the monitor stores.
mkdir -p "$WINEPREFIX/drive_c/Out/Letters"
run 0 x64 add-port 'C:/Out/./Letters' && says 'as C:\\Out\\Letters\\$'
check "norvinst add-port C:/Out/./Letters sends C:\\Out\\Letters\\" test $? -eq 0
top="$(top_port)"
check "stored by its canonical name ($top)" test "$top" = "C:\\Out\\Letters\\"

# A port a printer prints to stays until the printer moves.
spool="$BUILD_ROOT/windows-x64/norvspool.exe"
[ -f "$spool" ] || (cd "$ROOT" && cmake --build --preset windows-x64 -j2 --target norvspool >/dev/null)
(cd "$WORK" && wine "$spool" printer "C:\\Out\\Letters\\") >"$WORK/output/printer.txt" 2>&1
run 10 x64 remove-port "C:\\Out\\Letters\\" && says 'printer "NORV Demo Printer" prints to it'
check "remove-port refuses a port a printer uses (exit 10), naming the printer" test $? -eq 0
(cd "$WORK" && wine "$spool" removeprinter) >"$WORK/output/printer.txt" 2>&1
check "remove-port removes it once no printer uses it" run 0 x64 remove-port "C:\\Out\\Letters\\"

# What an installer package runs: register and unregister copy and delete no file.
run 0 x64 register && says 'already registered'
check "register: already registered in the modern form" test $? -eq 0
run 2 x64 register --legacy && says 'norvmon.dll was not found'
check "register --legacy refuses without norvmon.dll in system32" test $? -eq 0
run 0 x64 unregister --unless-related '{6A1C5C4E-0D3B-4F3A-9C8E-2B7D1E5F0A11}' '{6A1C5C4E-0D3B-4F3A-9C8E-2B7D1E5F0A12}'
check "unregister --unless-related with an upgrade code no product has" test $? -eq 0
run 4 x64 status && ! wine reg query "$key" >/dev/null 2>&1 && test -f "$system32/norvmon2.dll"
check "  unregistered: no monitor, no key, the DLLs still there" test $? -eq 0
check "unregister again: nothing registered, still exit 0" run 0 x64 unregister
check "register puts the DLLs in place back into the spooler" run 0 x64 register
check "  and add-port C:\Out\Scans again" run 0 x64 add-port 'C:\Out\Scans'
cp "$WORK/unpacked/x64/norvmon.dll" "$system32/"
run 0 x64 register --legacy && run 0 x64 ports && says 'C:\\Out\\Scans\\ *NORV Monitor'
check "register --legacy switches forms and keeps the port" test $? -eq 0
check "a relative path is refused with exit code 7" run 7 x64 add-port 'Out\Scans'
check "norvinst uninstall" run 0 x64 uninstall
check "nothing left (status: not installed)" run 4 x64 status

echo "bundle: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
