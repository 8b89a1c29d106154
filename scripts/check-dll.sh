#!/usr/bin/env bash
# Checks a built monitor DLL as a spooler would meet it: the machine it was
# built for, the hardening Windows expects of code in a system service
# (ASLR, DEP, 64-bit ASLR on 64-bit, no section both writable and
# executable), its export table (ordinal base 1, the plain names numbered
# from 1 in name order, no empty slot: what GNU ld writes), and imports from
# Windows' own libraries only. By name:
# norvmon.dll (legacy: InitializePrintMonitor, DllMain), norvmon2.dll (modern:
# InitializePrintMonitor2, and of user32 and shell32 nothing but user32's
# character functions, so no window),
# norvmonui.dll (its UI DLL: InitializePrintMonitorUI).
#
# Usage: scripts/check-dll.sh DLL|EXE [x86|x64|arm64]
#   The architecture defaults to the one of the build folder (build/windows-ARCH).
#   Of a program (.exe), the machine and the hardening are checked.
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

# What the checks below read, by pefile, one fact a line:
#   machine HEX | dllcharacteristics HEX | section NAME CHARACTERISTICS_HEX
#   export-base N | export ORDINAL NAME ("-" for a slot without a name,
#   "empty" for one without an address: pefile lists neither, so the slots
#   are counted here) | import DLL FUNCTION (delay-loaded ones too)
#   strings LANGUAGES IDS: the string tables found, English (0x409) and German
#   (0x007) with the same ids, no text empty, no time stamp in the resource
#   directory; or string-problem TEXT, one a fault (of a file with tables)
# Debian's python3, which python3-pefile is for: a python3 first on PATH
# (pyenv's, a virtualenv's) may lack it.
pe_facts() {
    /usr/bin/python3 - "$1" <<'PY'
import sys
try:
    import pefile
except ImportError:
    sys.exit("check-dll: pefile is missing (Debian's python3-pefile; scripts/install-deps.sh windows)")
path = sys.argv[1]
try:
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY[d] for d in (
        "IMAGE_DIRECTORY_ENTRY_EXPORT", "IMAGE_DIRECTORY_ENTRY_IMPORT",
        "IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT", "IMAGE_DIRECTORY_ENTRY_RESOURCE")])
except pefile.PEFormatError as e:
    sys.exit(f"{path}: not a PE file pefile can read ({e})")
print(f"machine {pe.FILE_HEADER.Machine:04x}")
print(f"dllcharacteristics {pe.OPTIONAL_HEADER.DllCharacteristics:04x}")
for section in pe.sections:
    name = section.Name.rstrip(b"\0").decode("latin-1")
    print(f"section {name} {section.Characteristics:08x}")
table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
if table:
    base = table.struct.Base
    print(f"export-base {base}")
    slots = {symbol.ordinal: symbol for symbol in table.symbols}
    for ordinal in range(base, base + table.struct.NumberOfFunctions):
        symbol = slots.get(ordinal)
        if symbol is None or not symbol.address:
            print(f"export {ordinal} empty")
        else:
            print(f"export {ordinal} {symbol.name.decode() if symbol.name else '-'}")
for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
    for imported in entry.imports:
        function = imported.name.decode() if imported.name else f"#{imported.ordinal}"
        print(f"import {entry.dll.decode()} {function}")
# A gap in a language's block shows as an empty text on Windows, not as the
# English one: so every table must have English's ids.
root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
tables = {}
stamped = root is not None and root.struct.TimeDateStamp != 0
for kind in root.entries if root else []:
    stamped |= kind.directory.struct.TimeDateStamp != 0
    if kind.id != 6:  # RT_STRING
        continue
    for block in kind.directory.entries:
        for lang in block.directory.entries:
            data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
            at = 0
            for slot in range(16):
                units = int.from_bytes(data[at:at + 2], "little")
                if units:
                    tables.setdefault(lang.id, set()).add((block.id - 1) * 16 + slot)
                at += 2 + 2 * units
for want in (0x409, 0x007):
    if want not in tables:
        print("string-problem no string table for language 0x%03x" % want)
english = tables.get(0x409, set())
for lang, ids in sorted(tables.items()):
    if ids != english:
        print("string-problem language 0x%03x: ids %s differ from English's" % (lang, sorted(ids ^ english)))
if stamped:
    print("string-problem a time stamp in the resource directory")
print("strings %s, %d ids each" % (" ".join("0x%03x" % l for l in sorted(tables)), len(english)))
PY
}

status=0
facts=$(pe_facts "$dll") || exit 1
machine=$(awk '$1 == "machine" {print $2}' <<<"$facts")
if [ "$machine" != "$want_machine" ]; then
    echo "$dll: machine 0x$machine, not $arch's 0x$want_machine" >&2
    exit 1
fi

# Hardening: DYNAMIC_BASE 0x40, NX_COMPAT 0x100, HIGH_ENTROPY_VA 0x20;
# a section's IMAGE_SCN_MEM_EXECUTE 0x20000000 and _WRITE 0x80000000.
flags=$((16#$(awk '$1 == "dllcharacteristics" {print $2}' <<<"$facts")))
hardening="DYNAMIC_BASE NX_COMPAT"
((flags & 0x40)) || { echo "$dll: DYNAMIC_BASE is not set (no ASLR)" >&2; status=1; }
((flags & 0x100)) || { echo "$dll: NX_COMPAT is not set (no DEP)" >&2; status=1; }
if [ "$arch" != x86 ]; then
    hardening+=" HIGH_ENTROPY_VA"
    ((flags & 0x20)) || { echo "$dll: HIGH_ENTROPY_VA is not set on a 64-bit file" >&2; status=1; }
fi
while read -r _ name characteristics; do
    if (((16#$characteristics & 0xA0000000) == 0xA0000000)); then
        echo "$dll: section $name is both writable and executable" >&2
        status=1
    fi
done < <(grep '^section ' <<<"$facts")

# A program (norvinst.exe): its machine and hardening are what matter here.
if [[ $dll == *.exe ]]; then
    # It runs elevated from wherever it was unpacked, and Windows looks for
    # any DLL that is no KnownDLL in the program's own folder first: so it
    # imports KnownDLLs only (the list and its source: docs/entry-points.md).
    known_dlls='^(kernel32|advapi32|user32|shell32|msvcrt)\.dll$'
    program_dlls=$(awk '$1 == "import" {print $2}' <<<"$facts" | sort -uf)
    if [ -z "$program_dlls" ]; then
        echo "$dll: no import table could be read" >&2
        status=1
    fi
    while read -r name; do
        if [ -n "$name" ] && ! grep -qiE "$known_dlls" <<<"$name"; then
            echo "$dll: imports $name, which is no KnownDLL: Windows would load it from the program's folder" >&2
            status=1
        fi
    done <<<"$program_dlls"
    ((status == 0)) && echo "$dll: machine 0x$machine ($arch); $hardening"
    exit $status
fi
case "$(basename "$dll")" in
    norvmon2.dll) exports=(InitializePrintMonitor2); windowless=1 ;;
    norvmonui.dll) exports=(InitializePrintMonitorUI); windowless=0 ;;
    *) exports=(InitializePrintMonitor DllMain); windowless=0 ;;
esac
for export in "${exports[@]}"; do
    if ! grep -qE "^export [0-9]+ $export\$" <<<"$facts"; then
        echo "$dll: export $export missing or decorated" >&2
        status=1
    fi
done
want_table="export-base 1"
ordinal=0
while read -r export; do
    ordinal=$((ordinal + 1))
    want_table+=$'\n'"export $ordinal $export"
done < <(printf '%s\n' "${exports[@]}" | LC_ALL=C sort)
table=$(grep -E '^export(-base)? ' <<<"$facts")
if [ "$table" != "$want_table" ]; then
    echo "$dll: export table is not the expected one:" >&2
    diff <(echo "$want_table") <(echo "$table") | sed -n 's/^\([<>]\)/  \1/p' | sed 's/^  </  wanted:/; s/^  >/  found: /' >&2
    status=1
fi
dlls=$(awk '$1 == "import" {print $2}' <<<"$facts" | uniq)
allowed='^(kernel32|advapi32|user32|shell32|shlwapi|ole32|winspool\.drv|msvcrt)(\.dll)?$'
while read -r name; do
    if [ -n "$name" ] && ! grep -qiE "$allowed" <<<"$name"; then
        echo "$dll: imports $name, which a spooler's directory may not have" >&2
        status=1
    fi
done <<<"$dlls"
# The string tables of the DLLs that show dialogs (the modern monitor shows none).
strings_found=
if [ "$(basename "$dll")" != norvmon2.dll ]; then
    problems=$(sed -n "s|^string-problem |$dll: |p" <<<"$facts")
    if [ -n "$problems" ]; then
        echo "$problems" >&2
        status=1
    fi
    strings_found=$(sed -n 's/^strings /string tables /p' <<<"$facts")
fi

if ((windowless)); then
    # Of user32 only the character functions (case folding); nothing of shell32.
    windows=$(awk '$1 == "import" && tolower($2) ~ /^(user32|shell32)/ && $3 !~ /^Char/ {print $3}' <<<"$facts")
    if [ -n "$windows" ]; then
        echo "$dll: imports ${windows//$'\n'/ }; the modern monitor must show no window" >&2
        status=1
    fi
fi
if ((status == 0)); then
    [ -n "$strings_found" ] && echo "$dll: $strings_found"
    echo "$dll: machine 0x$machine ($arch); $hardening; exports ${exports[*]} from ordinal 1; imports ${dlls//$'\n'/ }"
fi
exit $status
