#!/usr/bin/env bash
# Builds the Windows Installer packages build/norvmon-<version>-<arch>.msi
# for x86, x64 and ARM64 from the binaries of the release bundle, mends what
# wixl leaves wrong, dates the summary with SOURCE_DATE_EPOCH and derives the
# PackageCode from the package's contents (scripts/msi_stamp.py), checks the
# tables (scripts/msi_check.sh) and signs each package last (scripts/sign.sh).
#
# Usage: scripts/msi.sh [--no-bundle] [--version X.Y.Z] [--out DIR] [ARCH...]
#   --no-bundle  package the bundle's staged binaries as they are
#                (default: scripts/bundle.sh --no-build first, which signs them)
#   --version    the ProductVersion (default: project(VERSION)); a higher one
#                packages the same binaries as a newer product, for upgrade tests
#   --out DIR    where the packages go (default: build/)
#   --file-version FILE   prints the FILEVERSION of a binary's version resource
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
SRC="$ROOT/packaging/msi"

# file_version FILE: the FILEVERSION of its version resource (a.b.c.d), or
# nothing when it has none. VS_FIXEDFILEINFO starts with 0xFEEF04BD.
file_version() {
    local at
    at="$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -n1 | cut -d: -f1 || true)"
    [ -n "$at" ] || return 0
    od -An -tu2 -j "$((at + 8))" -N 8 "$1" | awk '{print $2 "." $1 "." $4 "." $3}'
}
[ "${1:-}" != --file-version ] || { file_version "$2"; exit 0; }

bundle=1 version="" out="$BUILD_ROOT" arches=()
while [ "$#" -gt 0 ]; do
    case "$1" in
        --no-bundle) bundle=0 ;;
        --version) version="$2"; shift ;;
        --out) out="$2"; shift ;;
        x86|x64|arm64) arches+=("$1") ;;
        -h|--help) sed -n '2,13p' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) echo "msi.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
[ "${#arches[@]}" -gt 0 ] || arches=(x86 x64 arm64)

bash "$ROOT/scripts/install-deps.sh" msi >/dev/null
project="$(sed -n 's/^project(norvmon VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
version="${version:-$project}"
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "msi.sh: version '$version' is not X.Y.Z" >&2; exit 2; }
[ "$bundle" -eq 0 ] || bash "$ROOT/scripts/bundle.sh" --no-build >/dev/null
stage="$BUILD_ROOT/bundle/norvmon-$project-windows"
work="$BUILD_ROOT/msi"
mkdir -p "$work" "$out"
FILES="norvmon2.dll norvmonui.dll norvinst.exe"

# guid NAME: a GUID that is the same for the same name (a product code per
# version and architecture).
guid() {
    python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.NAMESPACE_URL, sys.argv[1])).upper())' "$1"
}

# shellcheck source=source_date.sh
. "$ROOT/scripts/source_date.sh"
epoch="$(source_date_epoch "$ROOT")"
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$ROOT/packaging/README.txt" >"$work/README.txt"
# The cabinet keeps each file's time, in local time.
touch -d "@$epoch" "$work/README.txt"
export TZ=UTC
built=()
for arch in "${arches[@]}"; do
    bin="$stage/$arch"
    for file in $FILES; do
        [ -s "$bin/$file" ] || { echo "msi.sh: $bin/$file is missing" >&2; exit 1; }
    done
    tmp="$work/norvmon-$version-$arch.msi"
    rm -f "$out/norvmon-$version-$arch.msi" "$tmp"
    # wixl knows no ARM64: the x64 layout (64-bit components, System64Folder)
    # gets the Arm64 template below.
    # wixl takes only relative paths for the files.
    (cd "$work" && wixl -a "$([ "$arch" = x86 ] && echo x86 || echo x64)" -I "$SRC" -o "$tmp" \
        -D Arch="$arch" -D Version="$version" -D ProductCode="$(guid "norvmon-$version-$arch")" \
        -D Bin="$(realpath --relative-to="$work" "$bin")" -D Readme=README.txt "$SRC/norvmon.wxs")

    # wixl leaves File.Version empty (Windows Installer would then replace a
    # newer DLL by an older one) and builds the rollback action as an
    # immediate one that runs during every install.
    queries=(-q "UPDATE CustomAction SET Type=3346 WHERE Action='UnregisterOnRollback'")
    for file in $FILES; do
        v="$(file_version "$bin/$file")"
        [ -z "$v" ] || queries+=(-q "UPDATE File SET Version='$v', Language='1033' WHERE File='$file'")
    done
    msibuild "$tmp" "${queries[@]}"
    case "$arch" in x86) template="Intel;1033" ;; x64) template="x64;1033" ;; arm64) template="Arm64;1033" ;; esac
    # -s rewrites Subject and Author too: each is given its own value back.
    # The revision (the PackageCode) and the dates are set last, from the
    # package's contents and the epoch.
    msibuild "$tmp" -s "NORV Monitor $version ($arch)" Norvale "$template" "{00000000-0000-0000-0000-000000000000}"
    # Debian's interpreter, which has Debian's olefile (a python3 earlier in PATH may not).
    /usr/bin/python3 "$ROOT/scripts/msi_stamp.py" "$tmp" "$epoch" >/dev/null

    bash "$ROOT/scripts/msi_check.sh" "$tmp" "$arch" "$version" "$bin"
    built+=("$tmp")
done
# Signed last: no table changes after this.
[ "${#built[@]}" -eq 0 ] || bash "$ROOT/scripts/sign.sh" "${built[@]}"
for tmp in "${built[@]}"; do
    mv "$tmp" "$out/"
    echo "msi: $out/$(basename "$tmp")"
done
