#!/usr/bin/env bash
# Checks a built monitor DLL as a spooler would meet it: its exports under
# their plain names, and imports from Windows' own libraries only. By name:
# norvmon.dll (legacy: InitializePrintMonitor, DllMain), norvmon2.dll (modern:
# InitializePrintMonitor2, and of user32 and shell32 nothing but user32's
# character functions, so no window),
# norvmonui.dll (its UI DLL: InitializePrintMonitorUI).
set -euo pipefail
dll=$1
dump=$(objdump -p "$dll")
status=0
case "$(basename "$dll")" in
    norvmon2.dll) exports=(InitializePrintMonitor2); windowless=1 ;;
    norvmonui.dll) exports=(InitializePrintMonitorUI); windowless=0 ;;
    *) exports=(InitializePrintMonitor DllMain); windowless=0 ;;
esac
for export in "${exports[@]}"; do
    if ! grep -qE "^\s+\[\s*[0-9]+\] $export\$" <<<"$dump"; then
        echo "$dll: export $export missing or decorated" >&2
        status=1
    fi
done
allowed='^(kernel32|advapi32|user32|shell32|shlwapi|ole32|winspool\.drv|msvcrt)(\.dll)?$'
while read -r name; do
    if ! grep -qiE "$allowed" <<<"$name"; then
        echo "$dll: imports $name, which a spooler's directory may not have" >&2
        status=1
    fi
done < <(grep "DLL Name:" <<<"$dump" | awk '{print $3}')
if ((windowless)); then
    # Of user32 only the character functions (case folding); nothing of shell32.
    windows=$(awk 'tolower($0) ~ /dll name: (user32|shell32)/ {on=1; next} /DLL Name:/ || /^$/ {on=0}
                   on && NF >= 3 && $3 !~ /^Char/ && $1 != "vma:" {print $3}' <<<"$dump")
    if [ -n "$windows" ]; then
        echo "$dll: imports $(echo $windows); the modern monitor must show no window" >&2
        status=1
    fi
fi
if ((status == 0)); then
    echo "$dll: exports ${exports[*]}; imports $(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')"
fi
exit $status
