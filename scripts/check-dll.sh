#!/usr/bin/env bash
# Checks a built monitor DLL as a spooler would meet it: the machine it was
# built for, its exports under their plain names, and imports from Windows'
# own libraries only. By name:
# norvmon.dll (legacy: InitializePrintMonitor, DllMain), norvmon2.dll (modern:
# InitializePrintMonitor2, and of user32 and shell32 nothing but user32's
# character functions, so no window),
# norvmonui.dll (its UI DLL: InitializePrintMonitorUI).
#
# Usage: scripts/check-dll.sh DLL|EXE [x86|x64|arm64]
#   The architecture defaults to the one of the build folder (build/windows-ARCH).
#   Of a program (.exe), only the machine is checked.
set -euo pipefail
dll=$1
arch=${2:-$(basename "$(dirname "$(readlink -f "$dll")")")}
arch=${arch#windows-}
case "$arch" in
    x86) want_machine=014c ;;
    x64) want_machine=8664 ;;
    arm64) want_machine=aa64 ;;
    *) echo "$dll: no architecture: give x86, x64 or arm64, or keep it in build/windows-ARCH" >&2; exit 2 ;;
esac

# The machine field of the PE header, in hex.
pe_machine() {
    local offset
    offset=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    [ "$(od -An -c -j "$offset" -N 4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 1
    od -An -t x2 -j $((offset + 4)) -N 2 "$1" | tr -d ' '
}

# The tables as "export NAME" and "import DLL FUNCTION" lines. The host's
# objdump reads the x86 and x64 files; llvm-readobj the ARM64 ones.
tables() {
    if [ "$arch" = arm64 ]; then
        llvm-readobj --coff-exports --coff-imports "$1" | awk '
            /^Export \{/ {kind = "export"; next}
            /^(Delay)?Import \{/ {kind = "import"; next}
            /^\}/ {kind = ""; next}
            kind == "export" && $1 == "Name:" && NF == 2 {print "export", $2}
            kind == "import" && $1 == "Name:" {dll = $2}
            kind == "import" && $1 == "Symbol:" {print "import", dll, $2}'
    else
        objdump -p "$1" | awk '
            /^[[:space:]]+\[[[:space:]]*[0-9]+\] [^ ]+$/ {print "export", $NF; next}
            /DLL Name:/ {dll = $3; on = 1; next}
            /^$/ {on = 0}
            on && NF >= 3 && $1 != "vma:" {print "import", dll, $3}'
    fi
}

status=0
machine=$(pe_machine "$dll") || { echo "$dll: not a PE file" >&2; exit 1; }
if [ "$machine" != "$want_machine" ]; then
    echo "$dll: machine 0x$machine, not $arch's 0x$want_machine" >&2
    exit 1
fi
# A program (norvinst.exe): its machine is what matters here.
if [[ $dll == *.exe ]]; then
    echo "$dll: machine 0x$machine ($arch)"
    exit 0
fi
dump=$(tables "$dll")
case "$(basename "$dll")" in
    norvmon2.dll) exports=(InitializePrintMonitor2); windowless=1 ;;
    norvmonui.dll) exports=(InitializePrintMonitorUI); windowless=0 ;;
    *) exports=(InitializePrintMonitor DllMain); windowless=0 ;;
esac
for export in "${exports[@]}"; do
    if ! grep -qx "export $export" <<<"$dump"; then
        echo "$dll: export $export missing or decorated" >&2
        status=1
    fi
done
dlls=$(awk '$1 == "import" {print $2}' <<<"$dump" | uniq)
allowed='^(kernel32|advapi32|user32|shell32|shlwapi|ole32|winspool\.drv|msvcrt)(\.dll)?$'
while read -r name; do
    if [ -n "$name" ] && ! grep -qiE "$allowed" <<<"$name"; then
        echo "$dll: imports $name, which a spooler's directory may not have" >&2
        status=1
    fi
done <<<"$dlls"
if ((windowless)); then
    # Of user32 only the character functions (case folding); nothing of shell32.
    windows=$(awk '$1 == "import" && tolower($2) ~ /^(user32|shell32)/ && $3 !~ /^Char/ {print $3}' <<<"$dump")
    if [ -n "$windows" ]; then
        echo "$dll: imports $(echo $windows); the modern monitor must show no window" >&2
        status=1
    fi
fi
if ((status == 0)); then
    echo "$dll: machine 0x$machine ($arch); exports ${exports[*]}; imports $(echo $dlls)"
fi
exit $status
