#!/usr/bin/env bash
# Shows that norvinst loads no DLL planted beside it. In a fresh Wine prefix
# told to prefer native DLLs, as Windows does for every DLL that is no
# KnownDLL, a msi.dll and a winspool.drv that record being loaded lie beside
# norvinst.exe; every command runs, unregister --unless-related included, and
# nothing is loaded from that folder. A program there that asks for msi.dll
# (and winspool.drv) by the bare name does load the planted copy, so the test
# can fail. Witnesses: the file each planted DLL leaves when loaded, and
# Wine's +loaddll trace of every module mapped.
#
# Usage: scripts/wine/planting_test.sh x86|x64 [NORVINST.EXE]
#   after the windows-ARCH build; NORVINST.EXE: another norvinst to try in
#   its place (the build's DLLs still beside it).
# Prints "planting ARCH: N passed, N failed" and exits non-zero on a failure.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
arch=${1:-}
case "$arch" in
    x86) cc="i686-w64-mingw32-gcc" ;;
    x64) cc="x86_64-w64-mingw32-gcc" ;;
    *) echo "usage: planting_test.sh x86|x64 [NORVINST.EXE]" >&2; exit 2 ;;
esac
build="$BUILD_ROOT/windows-$arch"
norvinst="${2:-$build/norvinst.exe}"
for file in "$norvinst" "$build/norvmon2.dll" "$build/norvmonui.dll"; do
    [ -f "$file" ] || { echo "planting $arch: no $file; run the windows-$arch build" >&2; exit 1; }
done
command -v "$cc" >/dev/null || { echo "planting $arch: $cc is missing (scripts/install-deps.sh windows)" >&2; exit 1; }

WORK="$BUILD_ROOT/wine/planting-$arch"
folder="$WORK/folder"
rm -rf "$WORK" && mkdir -p "$folder" "$WORK/out"
cp "$norvinst" "$folder/norvinst.exe"
cp "$build/norvmon2.dll" "$build/norvmonui.dll" "$folder/"
sources="$ROOT/tests/wine/planting"
for planted in msi.dll winspool.drv; do
    "$cc" -Wall -Wextra -shared -o "$folder/$planted" "$sources/planted_dll.c" ||
        { echo "planting $arch: $planted did not build" >&2; exit 1; }
done
"$cc" -Wall -Wextra -municode -o "$folder/load_by_name.exe" "$sources/load_by_name.c" ||
    { echo "planting $arch: load_by_name.exe did not build" >&2; exit 1; }

# shellcheck source-path=SCRIPTDIR source=prefix.sh
. "$ROOT/scripts/wine/prefix.sh"
if [ "$arch" = x86 ]; then wine_prefix_init32 "$WORK/prefix"; else wine_prefix_init "$WORK/prefix"; fi >/dev/null || exit 1
trap wine_server_stop EXIT
wine_server_start
unset DISPLAY
# Native first for the two, as Windows searches the program's folder first.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;msi,winspool.drv=n,b"
export WINEDEBUG="-all,+loaddll"
windows_folder="$(wine_path "$folder")"

passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then passed=$((passed + 1)); echo "  ok    $1"; else failed=$((failed + 1)); echo "  FAIL  $1"; fi
}
# Each run's output goes to a file of its own: Wine's services keep pipes open.
count=0
run() {  # run EXPECTED_EXIT PROGRAM ARGS...: PROGRAM from the folder, started there
    count=$((count + 1))
    LOG="$WORK/out/$count.txt"
    rm -f "$folder"/*.loaded
    (cd "$folder" && wine "./$2" "${@:3}") >"$LOG" 2>&1
    local rc=$?
    [ "$rc" -eq "$1" ] || { echo "        (exit code $rc, expected $1; log $LOG)"; return 1; }
}
# The modules the last run mapped from the folder, the program itself aside,
# and the planted DLLs that ran.
from_folder() {
    tr -d '\r' <"$LOG" | grep -F "Loaded L\"${windows_folder//\\/\\\\}\\\\" | sed 's/.*\\\\\([^\\"]*\)" at .*/\1/' |
        grep -vixF -e norvinst.exe -e load_by_name.exe
    local mark
    for mark in "$folder"/*.loaded; do [ ! -e "$mark" ] || echo "$(basename "$mark" .loaded) (ran)"; done
}
loads_nothing() {  # loads_nothing EXPECTED_EXIT ARGS...: norvinst ARGS loads nothing from its folder
    run "$1" norvinst.exe "${@:2}" || return 1
    local loaded
    loaded="$(from_folder)"
    [ -z "$loaded" ] || { echo "        loaded from beside norvinst.exe: $(tr '\n' ' ' <<<"$loaded")"; return 1; }
}
loads_planted() {  # loads_planted NAME: load_by_name.exe NAME loads the planted NAME
    run 0 load_by_name.exe "$1" || return 1
    local loaded
    loaded="$(from_folder)"
    grep -qixF "$1" <<<"$loaded" && [ -f "$folder/$1.loaded" ]
}
# Wine must have traced the loads for the absence of a planted one to count.
traced() { tr -d '\r' <"$LOG" | grep -q 'Loaded L".*norvinst.exe"'; }

echo "planting $arch: msi.dll and winspool.drv beside $(basename "$norvinst"), native preferred"
mkdir -p "$WINEPREFIX/drive_c/Out/Scans"
upgrade='{6A1C5C4E-0D3B-4F3A-9C8E-2B7D1E5F0A11}'
product='{6A1C5C4E-0D3B-4F3A-9C8E-2B7D1E5F0A12}'
commands=(
    "0|help"
    "4|status"
    "0|install"
    "0|ports"
    "0|add-port|C:\\Out\\Scans"
    "0|remove-port|C:\\Out\\Scans\\"
    "0|register"
    "0|unregister|--unless-related|$upgrade|$product"
    "0|register"
    "0|unregister"
    "0|uninstall"
    "1|no-such-command"
)
for entry in "${commands[@]}"; do
    IFS='|' read -r -a words <<<"$entry"
    check "norvinst ${words[*]:1}: exit ${words[0]}, nothing loaded from its folder" loads_nothing "${words[@]}"
done
check "  and Wine traced that run's loads" traced
for planted in msi.dll winspool.drv; do
    check "a program asking for $planted by the bare name loads the planted copy" loads_planted "$planted"
done

echo "planting $arch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
