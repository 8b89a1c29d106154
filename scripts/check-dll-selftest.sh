#!/usr/bin/env bash
# Self-test of scripts/check-dll.sh on small ARM64 DLLs made here with the
# windows-arm64 toolchain: it passes a clean one and refuses the wrong
# machine, a missing export, an import from outside Windows and a window in
# the modern monitor. Needs scripts/arm64-sdk.sh's libraries.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
libs="$(bash "$ROOT/scripts/arm64-sdk.sh")" || exit 1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# dll NAME DIR EXPORT CALL [LIB...]: DIR/NAME exporting EXPORT, whose body calls CALL.
dll() {
    local name=$1 dir=$2 export=$3 call=$4
    shift 4
    mkdir -p "$work/$dir"
    printf 'extern "C" int %s();\nextern "C" int %s() { return %s(); }\n%s\n' "$call" "$export" "$call" \
        'extern "C" int DllMainCRTStartup(void*, unsigned, void*) { return 1; }' >"$work/$dir/$name.cpp"
    printf 'EXPORTS\n%s\n' "$export" >"$work/$dir/$name.def"
    clang++ --target=aarch64-w64-mingw32 -shared -nostdlib -fuse-ld=lld \
        -o "$work/$dir/$name" "$work/$dir/$name.cpp" "$work/$dir/$name.def" -L"$libs" -L"$work" "$@"
}

# expect NAME WANT_RC PATTERN ARGS...: check-dll.sh ARGS exits WANT_RC with PATTERN in its output.
expect() {
    local name=$1 want=$2 pattern=$3 out rc
    shift 3
    out="$(bash "$ROOT/scripts/check-dll.sh" "$@" 2>&1)"
    rc=$?
    if [ "$rc" -ne "$want" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "check-dll selftest: $name: exit $rc (wanted $want): $out"
        failures=$((failures + 1))
    else
        echo "check-dll selftest: $name: ok"
    fi
}

printf 'LIBRARY "helper.dll"\nEXPORTS\nHelp\n' >"$work/helper.def"
llvm-dlltool -m arm64 -d "$work/helper.def" -l "$work/libhelper.a"

dll norvmon2.dll windows-arm64 InitializePrintMonitor2 GetLastError -lkernel32 &&
    dll norvmon2.dll shown InitializePrintMonitor2 MessageBoxW -luser32 &&
    dll norvmonui.dll windows-arm64 InitializePrintMonitorUI Help -lhelper &&
    dll norvmon.dll windows-arm64 InitializePrintMonitor GetLastError -lkernel32 ||
    { echo "check-dll selftest: the ARM64 test DLLs did not link"; exit 1; }

expect "clean ARM64 DLL passes" 0 'machine 0xaa64 \(arm64\); exports InitializePrintMonitor2; imports KERNEL32.dll$' \
    "$work/windows-arm64/norvmon2.dll"
expect "ARM64 DLL checked as x64" 1 "machine 0xaa64, not x64's 0x8664" "$work/windows-arm64/norvmon2.dll" x64
expect "missing export" 1 'export DllMain missing' "$work/windows-arm64/norvmon.dll"
expect "import from outside Windows" 1 'imports helper.dll, which a spooler' "$work/windows-arm64/norvmonui.dll"
expect "window in the modern monitor" 1 'imports MessageBoxW; the modern monitor must show no window' \
    "$work/shown/norvmon2.dll" arm64
expect "no architecture known" 2 'no architecture' "$work/shown/norvmon2.dll"

((failures == 0)) && echo "check-dll selftest: all passed" || echo "check-dll selftest: $failures failed"
((failures == 0))
