#!/usr/bin/env bash
# Self-test of the release tools on a small release made here (a DLL, a zip
# holding it, a package): release_diff.sh names a difference planted in the
# DLL, in a zip entry and in a package table, and fails when it compared
# nothing or a tool is missing or fails; release.sh --out refuses a folder it
# did not make; a source tree without git and without SOURCE_DATE_EPOCH is
# refused by the release scripts and by the build.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME WANT_RC PATTERN COMMAND...: COMMAND exits WANT_RC with PATTERN
# in its output, its lines joined by spaces.
expect() {
    local name=$1 want=$2 pattern=$3 out rc
    shift 3
    out="$("$@" 2>&1 </dev/null)"
    rc=$?
    if [ "$rc" -ne "$want" ] || ! tr '\n' ' ' <<<"$out" | grep -qE -- "$pattern"; then
        echo "release selftest: $name: exit $rc (wanted $want), output:"
        head -n 30 <<<"$out" | sed 's/^/    /'
        failures=$((failures + 1))
    else
        echo "release selftest: $name: ok"
    fi
}
diff_tool=(bash "$ROOT/scripts/release_diff.sh")

# A release: a DLL, a zip holding a README, a package. Made once; each
# variant below plants one difference in a copy.
release() {
    local dir=$work/$1
    mkdir -p "$dir"
    printf 'int __declspec(dllexport) Answer(void) { return %s; }\n' "${2:-42}" >"$work/answer.c"
    # Linked at one path: GNU ld derives the image base from it.
    SOURCE_DATE_EPOCH=0 x86_64-w64-mingw32-gcc -shared -s -o "$work/norvmon2.dll" "$work/answer.c" &&
        mv "$work/norvmon2.dll" "$dir/" &&
        (cd "$work" && echo "${3:-one}" >README.txt && touch -d @0 README.txt && rm -f "$dir/norvmon.zip" &&
            zip -qX "$dir/norvmon.zip" README.txt) &&
        cp "$work/package.msi" "$dir/norvmon.msi" &&
        { [ -z "${4:-}" ] || msibuild "$dir/norvmon.msi" -q "$4"; }
}
cat >"$work/package.wxs" <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="NORV Test" Language="1033" Version="1.0.0" Manufacturer="Norvale"
           UpgradeCode="8E3C9A4B-6F1D-4C2E-9B7A-1D2E3F4A5B6C">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Property Id="NORVTEST" Value="1"/>
  </Product>
</Wix>
WXS
made=0
if wixl -o "$work/package.msi" "$work/package.wxs"; then
    # NAME ANSWER README TABLE_CHANGE: the variants, one difference each.
    while read -r name answer readme change; do
        release "$name" "$answer" "$readme" "$change" && made=$((made + 1))
    done <<'TABLE'
reference 42 one
same      42 one
dll       43 one
zip       42 two
msi       42 one UPDATE Property SET Value='Other' WHERE Property='Manufacturer'
TABLE
fi
((made == 5)) || { echo "release selftest: the test releases could not be made"; exit 1; }
mkdir -p "$work/empty-a" "$work/empty-b"

# What a planted difference must be named by: the file and the part inside.
expect "the same release" 0 'release is the same: 3 file\(s\), byte for byte' "${diff_tool[@]}" "$work/reference" "$work/same"
expect "a DLL's code" 1 'release differs: norvmon2.dll .*├── objdump' \
    "${diff_tool[@]}" "$work/reference" "$work/dll"
expect "a zip entry" 1 '├── README.txt.*-one.*\+two' \
    "${diff_tool[@]}" "$work/reference" "$work/zip"
expect "a package table" 1 'norvmon.msi \(B\)/Property.idt.*-Manufacturer	Norvale.*\+Manufacturer	Other' \
    "${diff_tool[@]}" "$work/reference" "$work/msi"
expect "a file only in one" 1 'release differs: norvmon.msi is only in' "${diff_tool[@]}" "$work/reference" "$work/empty-b"
expect "two empty folders" 2 'nothing to compare: .* hold no file' "${diff_tool[@]}" "$work/empty-a" "$work/empty-b"

# A missing diffoscope, and one that fails: PATH holds all the rest.
mkdir -p "$work/bin" "$work/broken"
for tool in cmp msidump; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
expect "diffoscope missing" 2 "diffoscope is missing \(Debian's diffoscope-minimal" \
    env PATH="$work/bin" "$BASH" "$ROOT/scripts/release_diff.sh" "$work/reference" "$work/dll"
printf '#!/bin/sh\necho "diffoscope: crashed" >&2\nexit 2\n' >"$work/broken/diffoscope"
chmod +x "$work/broken/diffoscope"
expect "diffoscope failing" 2 'diffoscope failed on norvmon2.dll: diffoscope: crashed' \
    env PATH="$work/broken:$PATH" "${diff_tool[@]}" "$work/reference" "$work/dll"

# --out: a folder with files of its own is left as it is.
mkdir -p "$work/mine" && echo keep >"$work/mine/notes.txt"
expect "release.sh --out a folder it did not make" 1 'is not a release this script made' \
    bash "$ROOT/scripts/release.sh" --no-build --out "$work/mine"
[ -f "$work/mine/notes.txt" ] || { echo "release selftest: release.sh --out deleted a file it did not make"; failures=$((failures + 1)); }

# A source tarball: no git history to date the release or the binaries by,
# on its own and unpacked inside another repository (whose time is not its).
mkdir -p "$work/outer/tarball"
git -C "$ROOT" ls-files -z | tar -C "$ROOT" --null -T - -c | tar -x -C "$work/outer/tarball"
cp -r "$work/outer/tarball" "$work/tarball"
git -C "$work/outer" init -q && git -C "$work/outer" -c user.name=t -c user.email=t@t commit -q --allow-empty -m outer
for tree in "$work/tarball" "$work/outer/tarball"; do
    # shellcheck disable=SC2016 # $1 is the inner shell's, the tree given to it
    expect "release time without git or SOURCE_DATE_EPOCH (${tree#"$work"/})" 1 'no git history .*set SOURCE_DATE_EPOCH' \
        env -u SOURCE_DATE_EPOCH bash -c '. "$1/scripts/source_date.sh"; source_date_epoch "$1"' _ "$tree"
    expect "build without git or SOURCE_DATE_EPOCH (${tree#"$work"/})" 1 'no git history .*set SOURCE_DATE_EPOCH' \
        env -u SOURCE_DATE_EPOCH cmake -S "$tree" -B "$tree/build" -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/mingw-x64.cmake"
done

((failures == 0)) && echo "release selftest: all passed" || echo "release selftest: $failures failed"
((failures == 0))
