#!/usr/bin/env bash
# Self-test of scripts/check-dll.sh on small ARM64 DLLs and a program made
# here with the windows-arm64 toolchain (and its export tables): it passes
# clean ones and refuses the wrong machine, a missing export, an export table
# that is not the expected one, a dialog DLL without its German string table,
# an import from outside Windows, a window in the modern monitor, a program
# importing what is no KnownDLL, and each missing hardening flag and a
# writable code section. Needs scripts/arm64-sdk.sh's libraries.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
libs="$(bash "$ROOT/scripts/arm64-sdk.sh")" || exit 1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# dll NAME DIR "EXPORT..." CALL [LINK_ARG...]: DIR/NAME exporting each EXPORT,
# whose bodies call CALL, with the export table the build makes (lld's own
# with table=lld).
dll() {
    local name=$1 dir=$2 exports=$3 call=$4 symbol
    shift 4
    mkdir -p "$work/$dir"
    {
        printf 'extern "C" int %s();\n' "$call"
        for symbol in $exports; do printf 'extern "C" int %s() { return %s(); }\n' "$symbol" "$call"; done
        echo 'extern "C" int DllMainCRTStartup(void*, unsigned, void*) { return 1; }'
    } >"$work/$dir/$name.cpp"
    printf 'LIBRARY %s\nEXPORTS\n' "$name" >"$work/$dir/$name.def"
    tr ' ' '\n' <<<"$exports" >>"$work/$dir/$name.def"
    local table="$work/$dir/$name.def"
    if [ "${table_kind:-build}" = build ]; then
        table="$work/$dir/${name}_exports.o"
        cmake -DDEF="$work/$dir/$name.def" -DOUT="$work/$dir/${name}_exports.c" -P "$ROOT/cmake/export-table.cmake" &&
            clang --target=aarch64-w64-mingw32 -c "$work/$dir/${name}_exports.c" -o "$table" || return 1
    fi
    clang++ --target=aarch64-w64-mingw32 -shared -nostdlib -fuse-ld=lld \
        -o "$work/$dir/$name" "$work/$dir/$name.cpp" "$table" -L"$libs" -L"$work" "$@"
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

# A section both writable and executable.
printf '__asm__(".section .wx,\\"xw\\"\\n.long 0\\n.text\\n");\n' >"$work/wx.c"
clang --target=aarch64-w64-mingw32 -c "$work/wx.c" -o "$work/wx.o"
# A console program with nothing but its entry.
printf 'extern "C" int GetLastError();\nextern "C" int start() { return GetLastError(); }\n' >"$work/tool.cpp"
# The same program calling a spooler function: it imports winspool.drv.
printf 'extern "C" int ClosePrinter(void*);\nextern "C" int start() { return ClosePrinter(0); }\n' >"$work/spooler_tool.cpp"
program() {
    mkdir -p "$work/$1"
    clang++ --target=aarch64-w64-mingw32 -nostdlib -fuse-ld=lld -Wl,-e,start -o "$work/$1/norvinst.exe" \
        "${source:-$work/tool.cpp}" -L"$libs" -lkernel32 "${@:2}"
}

# The dialog DLLs' string tables, English and German, as the build makes them.
windres=$(command -v llvm-windres || command -v llvm-windres-14 || echo /usr/lib/llvm-14/bin/llvm-windres)
for table in en de; do
    "$windres" --target=aarch64-w64-mingw32 --codepage=65001 -I/usr/share/mingw-w64/include -I"$ROOT/src" \
        "$ROOT/src/strings/$table.rc" -o "$work/strings-$table.o" ||
        { echo "check-dll selftest: the string table $table.rc did not compile"; exit 1; }
done
strings=("$work/strings-en.o" "$work/strings-de.o")
kernel=(GetLastError -lkernel32)
if ! { dll norvmon2.dll windows-arm64 InitializePrintMonitor2 "${kernel[@]}" &&
    dll norvmon2.dll shown InitializePrintMonitor2 MessageBoxW -luser32 &&
    dll norvmonui.dll windows-arm64 InitializePrintMonitorUI Help -lhelper &&
    dll norvmon.dll windows-arm64 "InitializePrintMonitor DllMain" "${kernel[@]}" "${strings[@]}" &&
    dll norvmon.dll english-only "InitializePrintMonitor DllMain" "${kernel[@]}" "${strings[0]}" &&
    dll norvmon.dll incomplete InitializePrintMonitor "${kernel[@]}" &&
    dll norvmon.dll extra "InitializePrintMonitor DllMain Extra" "${kernel[@]}" &&
    table_kind=lld dll norvmon2.dll lld InitializePrintMonitor2 "${kernel[@]}" &&
    dll norvmon2.dll wx InitializePrintMonitor2 "${kernel[@]}" "$work/wx.o" &&
    program windows-arm64 &&
    source="$work/spooler_tool.cpp" program spooler -lwinspool; }; then
    echo "check-dll selftest: the ARM64 test DLLs did not link"
    exit 1
fi
# without DIR FILE MASK: a copy of FILE in DIR with the DllCharacteristics bits
# of MASK cleared (lld refuses to link an ARM64 file without ASLR).
without() {
    mkdir -p "$work/$1"
    cp "$2" "$work/$1/"
    python3 - "$work/$1/$(basename "$2")" "$3" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    data = f.read()
    at = struct.unpack_from("<I", data, 60)[0] + 24 + 70
    f.seek(at)
    f.write(struct.pack("<H", struct.unpack_from("<H", data, at)[0] & ~int(sys.argv[2], 0)))
PY
}
without no-aslr "$work/windows-arm64/norvmon2.dll" 0x40
without no-dep "$work/windows-arm64/norvmon2.dll" 0x100
without no-high-entropy "$work/windows-arm64/norvmon2.dll" 0x20
without exe-no-dep "$work/windows-arm64/norvinst.exe" 0x100

expect "clean ARM64 DLL passes" 0 \
    'machine 0xaa64 \(arm64\); DYNAMIC_BASE NX_COMPAT HIGH_ENTROPY_VA; exports InitializePrintMonitor2 from ordinal 1; imports KERNEL32.dll$' \
    "$work/windows-arm64/norvmon2.dll"
expect "clean two-export table passes" 0 'exports InitializePrintMonitor DllMain from ordinal 1' "$work/windows-arm64/norvmon.dll"
expect "clean program passes" 0 'machine 0xaa64 \(arm64\); DYNAMIC_BASE NX_COMPAT HIGH_ENTROPY_VA$' "$work/windows-arm64/norvinst.exe"
expect "ARM64 DLL checked as x64" 1 "machine 0xaa64, not x64's 0x8664" "$work/windows-arm64/norvmon2.dll" x64
expect "no German string table" 1 'no string table for language 0x007' "$work/english-only/norvmon.dll" arm64
expect "missing export" 1 'export DllMain missing' "$work/incomplete/norvmon.dll" arm64
expect "an export too many" 1 'found: +export 3 InitializePrintMonitor' "$work/extra/norvmon.dll" arm64
expect "lld's table: base 0, empty slot 0" 1 'found: +export 0 empty' \
    "$work/lld/norvmon2.dll" arm64
expect "no ASLR" 1 'DYNAMIC_BASE is not set' "$work/no-aslr/norvmon2.dll" arm64
expect "no DEP" 1 'NX_COMPAT is not set' "$work/no-dep/norvmon2.dll" arm64
expect "no 64-bit ASLR" 1 'HIGH_ENTROPY_VA is not set on a 64-bit file' "$work/no-high-entropy/norvmon2.dll" arm64
expect "writable code" 1 'section .wx is both writable and executable' "$work/wx/norvmon2.dll" arm64
expect "program without DEP" 1 'NX_COMPAT is not set' "$work/exe-no-dep/norvinst.exe" arm64
expect "program importing a DLL that is no KnownDLL" 1 'imports WINSPOOL.DRV, which is no KnownDLL' \
    "$work/spooler/norvinst.exe" arm64
expect "import from outside Windows" 1 'imports helper.dll, which a spooler' "$work/windows-arm64/norvmonui.dll"
expect "window in the modern monitor" 1 'imports MessageBoxW; the modern monitor must show no window' \
    "$work/shown/norvmon2.dll" arm64
expect "no architecture known" 2 'no architecture' "$work/shown/norvmon2.dll"

((failures == 0)) && echo "check-dll selftest: all passed" || echo "check-dll selftest: $failures failed"
((failures == 0))
