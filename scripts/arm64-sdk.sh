#!/usr/bin/env bash
# Makes the ARM64 import libraries the windows-arm64 preset links against, in
# build/arm64-sdk/lib (or $NORV_ARM64_SDK/lib). Debian ships no ARM64 MinGW
# libraries, so they are generated from the .def files of Debian's own
# mingw-w64 source package, fetched through a private deb-src list made from
# this machine's apt sources: the host's sources and lists stay as they are.
# A second run finds everything in place and does nothing.
#
# Usage: scripts/arm64-sdk.sh        prints the library folder on its last line
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SDK="${NORV_ARM64_SDK:-${NORV_BUILD_ROOT:-$ROOT/build}/arm64-sdk}"
# What the three DLLs and norvinst import, nothing more.
LIBS="kernel32 advapi32 user32 shell32 shlwapi ole32 winspool msvcrt msi version"

have_all() {
    local lib
    for lib in $LIBS; do [ -s "$SDK/lib/lib$lib.a" ] || return 1; done
}
if have_all; then
    echo "$SDK/lib"
    exit 0
fi

MACHINE_WHO=arm64-sdk
# shellcheck source=machine.sh
. "$ROOT/scripts/machine.sh"
machine_install clang lld llvm dpkg-dev mingw-w64-common g++-mingw-w64-x86-64-posix >&2 || exit 1

# The private apt tree: the host's enabled sources turned into deb-src.
apt_dir="$SDK/apt"
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
: >"$apt_dir/sources.list"
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >>"$apt_dir/sources.list"
fi
rm -f "$apt_dir/parts/"*
for file in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    case "$file" in
        *.list) sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >>"$apt_dir/sources.list" ;;
        *.sources) sed 's/^Types:.*/Types: deb-src/' "$file" >"$apt_dir/parts/$(basename "$file")" ;;
    esac
done
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
          -o "Dir::Etc::SourceParts=$apt_dir/parts"
          -o "Dir::State::Lists=$apt_dir/lists"
          -o "Dir::Cache=$apt_dir/cache"
          -o "APT::Sandbox::User=root")

src_dir="$SDK/src"
crt=$(find "$src_dir" -maxdepth 3 -type d -path '*/mingw-w64-crt/lib-common' 2>/dev/null | head -n1 || true)
if [ -z "$crt" ]; then
    echo "arm64-sdk: fetching Debian's mingw-w64 source package" >&2
    apt-get "${apt_opts[@]}" -q update >&2
    rm -rf "$src_dir"
    mkdir -p "$src_dir"
    (cd "$src_dir" && apt-get "${apt_opts[@]}" -q source mingw-w64 >&2)
    crt=$(find "$src_dir" -maxdepth 3 -type d -path '*/mingw-w64-crt/lib-common' | head -n1)
    [ -n "$crt" ] || { echo "arm64-sdk: no mingw-w64-crt/lib-common in the source package" >&2; exit 1; }
fi

mkdir -p "$SDK/def" "$SDK/lib"
for lib in $LIBS; do
    out="$SDK/lib/lib$lib.a"
    [ -s "$out" ] && continue
    def="$SDK/def/$lib.def"
    if [ -f "$crt/$lib.def.in" ]; then
        clang -E -P -x c -DDEF_ARM64 -I"$crt" -I"$crt/../def-include" "$crt/$lib.def.in" -o "$def"
    elif [ -f "$crt/$lib.def" ]; then
        cp "$crt/$lib.def" "$def"
    else
        echo "arm64-sdk: no $lib.def or $lib.def.in in $crt" >&2
        exit 1
    fi
    llvm-dlltool -m arm64 -d "$def" -l "$out.tmp"
    mv "$out.tmp" "$out"
done
have_all
# The libraries are the cache: the source tree and the lists go.
rm -rf "$src_dir" "$apt_dir/lists"
echo "$SDK/lib"
