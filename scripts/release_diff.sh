#!/usr/bin/env bash
# Compares two releases (folders or single files) byte for byte, and where a
# file differs shows where: diffoscope opens the zip and reads the PE files in
# it; a package, which Debian 12's diffoscope cannot read, is compared as the
# tables and streams msidump writes out. (Debian 12's diffoscope reads 64-bit
# PE files only: an x86 file it shows as a hex dump, beside cmp's first
# differing byte.)
#
# Usage: scripts/release_diff.sh [--signed] A B
#   exit 0 when every file is the same, 1 when one differs, 2 when nothing
#   could be compared (a tool missing or failing, no file at all)
#   --signed  A may be signed (scripts/sign.sh) and B not: see signed_same
set -uo pipefail

signed=0
[ "${1:-}" = --signed ] && { signed=1; shift; }
[ "$#" -eq 2 ] || { sed -n '2,12p' "${BASH_SOURCE[0]}" >&2; exit 2; }
a=$1 b=$2

fail() { echo "release_diff: $*" >&2; exit 2; }
tools=(cmp:diffutils diffoscope:diffoscope-minimal msidump:msitools)
((signed)) && tools+=(osslsigncode:osslsigncode msiextract:msitools unzip:unzip zipinfo:unzip md5sum:coreutils)
for tool in "${tools[@]}"; do
    command -v "${tool%%:*}" >/dev/null ||
        fail "${tool%%:*} is missing (Debian's ${tool#*:}: bash scripts/install-deps.sh msi)"
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# run TOOL ARG...: TOOL's failure stops the comparison, naming it.
run() {
    "$@" >"$work/out" 2>"$work/err" ||
        fail "$1 failed on ${*: -1}: $(tail -n 3 "$work/err" "$work/out" | grep -v '^==>\|^$')"
}
magic() { od -An -tx1 -N"$2" "$1" | tr -d ' \n'; }

# msi_dump MSI DIR: the package's tables (as .idt text) and streams in DIR.
msi_dump() {
    mkdir -p "$2"
    run msidump -t -s -d "$2" "$1"
}

# explain NAME A B: says that NAME differs and shows where, A and B being
# files or folders.
explain() {
    local name=$1 x=$2 y=$3 report=$work/report.txt
    echo "release differs: $name"
    [ -f "$x" ] && [ -f "$y" ] && cmp "$x" "$y" | sed "s|^.* differ: |  first difference: |"
    if [ -f "$x" ] && [ "$(magic "$x" 8)" = d0cf11e0a1b11ae1 ] && [ "$(magic "$y" 8)" = d0cf11e0a1b11ae1 ]; then
        rm -rf "$work/dump-a" "$work/dump-b"
        msi_dump "$x" "$work/dump-a" && msi_dump "$y" "$work/dump-b"
        x=$work/dump-a y=$work/dump-b
    fi
    diffoscope --no-progress --exclude-directory-metadata=recursive --text "$report" "$x" "$y" >/dev/null 2>"$work/err"
    (($? != 2)) || fail "diffoscope failed on $name: $(tail -n 3 "$work/err")"
    # Where: the parts diffoscope opened (an entry, a table, objdump's view of
    # a PE file), then the start of its report.
    [ ! -d "$x" ] || sed -i -e "s|$x|$name (A)|g" -e "s|$y|$name (B)|g" "$report"
    echo "  where (diffoscope):"
    grep -E '^[│ ]*├── ' "$report" | sed 's/^/    /' | head -n 20
    head -n 60 "$report" | sed 's/^/  /'
    local lines
    lines=$(wc -l <"$report")
    ((lines <= 60)) || echo "  ... ($((lines - 60)) more lines of diffoscope's report)"
}

# --signed: what a signature changes, diffoscope would report as a
# difference, so these rules stay ours. A signed DLL or EXE is the same when
# what its signature covers (osslsigncode extract-data) is B's; a zip when its
# entries are, in the same order with the same attributes but their sizes; a
# package when, without its signature, its summary but the PackageCode, its
# tables but the files' sizes and their MsiFileHash (checked against its own
# files instead) and its files are B's; SHA256SUMS when it holds for A's files.
signed_same() {
    local name=$1 x=$2 y=$3
    cmp -s "$x" "$y" && return 0
    if [ "$(basename "$x")" = SHA256SUMS ]; then
        (cd "$(dirname "$x")" && sha256sum --check --quiet SHA256SUMS >"$work/out" 2>&1) && return 0
        echo "release differs: $name does not hold for the files beside it:"
        sed 's/^/  /' "$work/out"
        return 1
    fi
    case "$(magic "$x" 2)" in
        4d5a) signed_pe "$@" ;;
        504b) signed_zip "$@" ;;
        d0cf) signed_msi "$@" ;;
        *) explain "$@"; return 1 ;;
    esac
}

signed_pe() {
    local name=$1 x=$2 y=$3
    # osslsigncode writes no file that is there already.
    rm -f "$work/signature" "$work/covered-a" "$work/covered-b" "$work/unsigned"
    if ! osslsigncode extract-signature -in "$x" -out "$work/signature" >/dev/null 2>&1; then
        explain "$@"
        return 1
    fi
    run osslsigncode extract-data -in "$x" -out "$work/covered-a"
    run osslsigncode extract-data -in "$y" -out "$work/covered-b"
    cmp -s "$work/covered-a" "$work/covered-b" && return 0
    run osslsigncode remove-signature -in "$x" -out "$work/unsigned"
    explain "$name (signed; shown without its signature)" "$work/unsigned" "$y"
    return 1
}

signed_zip() {
    local name=$1 x=$2 y=$3 at=$work/zip.$RANDOM entry
    # zipinfo -T: mode, version, system, size, type, method, time, name.
    for side in a b; do
        [ $side = a ] && file=$x || file=$y
        run zipinfo -T "$file"
        sed '1d;$d' "$work/out" | awk '{$4 = ""; print}' >"$at.$side.list"
        mkdir -p "$at.$side"
        run unzip -q -d "$at.$side" "$file"
    done
    if ! cmp -s "$at.a.list" "$at.b.list"; then
        echo "release differs: $name: the entries or their attributes"
        diff "$at.a.list" "$at.b.list" | sed -n 's/^[<>]/  &/p' | head -n 20
        return 1
    fi
    while read -r entry; do
        [ -f "$at.a/$entry" ] || continue
        signed_same "$name: entry $entry" "$at.a/$entry" "$at.b/$entry" || return 1
    done < <(awk '{print $NF}' "$at.a.list")
}

# msi_hashes_hold DUMP FILES: the first file whose MsiFileHash row (MD5 as
# four signed 32-bit numbers) is not the packaged file's; nothing when all hold.
msi_hashes_hold() {
    local key digest i word want
    [ -f "$1/MsiFileHash.idt" ] || return 0
    while IFS=$'\t' read -r key _ h1 h2 h3 h4; do
        digest=$(find "$2" -type f -name "$key" -exec md5sum {} + | cut -c1-32)
        want=""
        for i in 0 8 16 24; do
            word=$((16#${digest:i+6:2}${digest:i+4:2}${digest:i+2:2}${digest:i:2}))
            ((word < 2 ** 31)) || word=$((word - 2 ** 32))
            want+="$word "
        done
        [ "$want" = "$h1 $h2 $h3 ${h4%$'\r'} " ] || { echo "$key"; return 1; }
    done < <(tail -n +4 "$1/MsiFileHash.idt")
}

signed_msi() {
    local name=$1 x=$2 y=$3 at=$work/msi.$RANDOM file wrong
    run osslsigncode remove-signature -in "$x" -out "$at.unsigned"
    msi_dump "$at.unsigned" "$at.a"
    msi_dump "$y" "$at.b"
    for side in a b; do
        [ $side = a ] && file=$at.unsigned || file=$y
        # FileSize, the fourth column, grows with a signature; so does the PackageCode.
        awk -F'\t' -v OFS='\t' '{$4 = ""; print}' "$at.$side/File.idt" >"$at.$side/File.idt.sizeless"
        sed -i '/^9\t/d' "$at.$side/_SummaryInformation.idt"
        mkdir -p "$at.$side.files"
        run msiextract -C "$at.$side.files" "$file"
    done
    wrong=$(msi_hashes_hold "$at.a" "$at.a.files") || {
        echo "release differs: $name: the MsiFileHash of $wrong is not that file's"
        return 1
    }
    # The summary stream is read above as its table; the cabinets by their files below.
    for side in a b; do
        rm -rf "$at.$side/File.idt" "$at.$side/MsiFileHash.idt" "$at.$side"/_Streams/*SummaryInformation "$at.$side"/_Streams/*.cab
    done
    if ! diff -rq "$at.a" "$at.b" >/dev/null; then
        explain "$name (signed; tables)" "$at.a" "$at.b"
        return 1
    fi
    (cd "$at.a.files" && find . -type f | LC_ALL=C sort) >"$at.a.files.list"
    (cd "$at.b.files" && find . -type f | LC_ALL=C sort) >"$at.b.files.list"
    cmp -s "$at.a.files.list" "$at.b.files.list" || { echo "release differs: $name: the packaged files"; return 1; }
    while read -r file; do
        signed_same "$name: file ${file#./}" "$at.a.files/$file" "$at.b.files/$file" || return 1
    done <"$at.a.files.list"
}

# The files of a release, relative to it (a single file is itself): the zip
# first, as its binaries are the packages' too, and the checksums last, as
# they differ whenever anything else does.
list() {
    if [ -f "$1" ]; then echo .; return; fi
    (cd "$1" && find . -type f | sed 's|^\./||') | awk '{
        base = $0; sub(/.*\//, "", base)
        print (base == "SHA256SUMS" ? 2 : $0 ~ /\.zip$/ ? 0 : 1) "\t" $0}' | LC_ALL=C sort | cut -f2-
}
[ -e "$a" ] || fail "$a does not exist"
[ -e "$b" ] || fail "$b does not exist"
list "$a" >"$work/a.list"
list "$b" >"$work/b.list"
[ -s "$work/a.list" ] || [ -s "$work/b.list" ] || fail "nothing to compare: $a and $b hold no file"
only=$(comm -3 <(LC_ALL=C sort "$work/a.list") <(LC_ALL=C sort "$work/b.list") | head -n 1)
if [ -n "$only" ]; then
    [[ $only == $'\t'* ]] && echo "release differs: ${only#$'\t'} is only in $b" || echo "release differs: $only is only in $a"
    exit 1
fi
count=0
while read -r rel; do
    x=$a/$rel y=$b/$rel
    [ "$rel" != . ] || { x=$a y=$b rel=$(basename "$a"); }
    if ((signed)); then
        signed_same "$rel" "$x" "$y" </dev/null || exit $?
    elif ! cmp -s "$x" "$y"; then
        explain "$rel" "$x" "$y" </dev/null
        exit 1
    fi
    count=$((count + 1))
done <"$work/a.list"
echo "release is the same: $count file(s), $( ((signed)) && echo "signed content and the rest byte for byte" || echo "byte for byte")"
