#!/usr/bin/env bash
# Checks a built monitor DLL as a spooler would meet it: both exports under
# their plain names, and imports from Windows' own libraries only.
set -euo pipefail
dll=$1
dump=$(objdump -p "$dll")
status=0
for export in InitializePrintMonitor DllMain; do
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
if ((status == 0)); then
    echo "$dll: exports InitializePrintMonitor and DllMain; imports $(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')"
fi
exit $status
