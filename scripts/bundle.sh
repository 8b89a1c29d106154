#!/usr/bin/env bash
# Builds the monitor's three DLLs (legacy norvmon.dll, the modern pair
# norvmon2.dll and norvmonui.dll) and norvinst.exe for x86, x64 and ARM64 and
# writes the release bundle build/norvmon-<version>-windows.zip: x86/, x64/
# and arm64/ with these files,
# README.txt for the Windows administrator and SHA256SUMS. The version is
# project(VERSION) in CMakeLists.txt.
#
# Usage: scripts/bundle.sh [--no-build]
#   --no-build   bundle the existing build/windows-x86, -x64 and -arm64
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"

build=1
for arg in "$@"; do
    case "$arg" in
        --no-build) build=0 ;;
        -h|--help) sed -n '2,8p' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) echo "bundle.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

bash "$ROOT/scripts/install-deps.sh" windows bundle arm64

version="$(sed -n 's/^project(norvmon VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
[ -n "$version" ] || { echo "bundle.sh: no project(VERSION) in CMakeLists.txt" >&2; exit 1; }
name="norvmon-$version-windows"
DLLS="norvmon.dll norvmon2.dll norvmonui.dll"
FILES="$DLLS norvinst.exe"
ARCHES="x86 x64 arm64"

for arch in $ARCHES; do
    if [ "$build" -eq 1 ]; then
        (cd "$ROOT" && cmake --preset "windows-$arch" >/dev/null &&
            cmake --build --preset "windows-$arch" -j "${JOBS:-2}" --target norvmon norvmon2 norvmonui norvinst >/dev/null) || {
            echo "bundle.sh: the windows-$arch build failed" >&2
            exit 1
        }
    fi
    for file in $FILES; do bash "$ROOT/scripts/check-dll.sh" "$BUILD_ROOT/windows-$arch/$file" "$arch"; done
done

stage="$BUILD_ROOT/bundle/$name"
rm -rf "$stage"
mkdir -p "$stage"
for arch in $ARCHES; do
    mkdir -p "$stage/$arch"
    for file in $FILES; do cp "$BUILD_ROOT/windows-$arch/$file" "$stage/$arch/"; done
done
# Signed before the checksums (NORV_SIGN_CERT, NORV_SIGN_KEY: scripts/sign.sh).
bash "$ROOT/scripts/sign.sh" "$stage"/*/*
# Windows line ends for Notepad and the command prompt.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$ROOT/packaging/README.txt" >"$stage/README.txt"
entries=(README.txt)
for arch in $ARCHES; do for file in $FILES; do entries+=("$arch/$file"); done; done
(cd "$stage" && sha256sum "${entries[@]}" >SHA256SUMS)

# The same commit gives the same archive: the binaries' time
# (SOURCE_DATE_EPOCH), fixed modes and order, and no extra fields, whatever
# the umask, zone or locale.
# shellcheck source=source_date.sh
. "$ROOT/scripts/source_date.sh"
stamp="$(source_date_epoch "$ROOT")"
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$stamp" {} +
zipfile="$BUILD_ROOT/$name.zip"
rm -f "$zipfile"
(cd "$stage" && TZ=UTC LC_ALL=C zip -X -q "$zipfile" README.txt SHA256SUMS x86/ x64/ arm64/ "${entries[@]:1}")
echo "bundle: $zipfile"
(cd "$stage" && sed 's/^/  /' SHA256SUMS)
