#!/usr/bin/env bash
# Makes the release: the bundle (scripts/bundle.sh), the three packages
# (scripts/msi.sh) and SHA256SUMS of the four, in one folder. Two runs on
# the same commit give the same bytes, wherever and whenever they run
# (times from SOURCE_DATE_EPOCH, by default the commit's): scripts/repro.sh
# checks it, scripts/verify.sh checks a downloaded release against it.
# With NORV_SIGN_CERT and NORV_SIGN_KEY the binaries and packages are signed.
#
# Usage: scripts/release.sh [--no-build] [--out DIR]
#   --no-build   package the existing build/windows-x86, -x64 and -arm64
#   --out DIR    where the release goes (default: build/release)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
build=() out="$BUILD_ROOT/release"
while [ "$#" -gt 0 ]; do
    case "$1" in
        --no-build) build=(--no-build) ;;
        --out) out="$2"; shift ;;
        -h|--help) sed -n '2,12p' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) echo "release.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

version="$(sed -n 's/^project(norvmon VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
# An earlier release in OUT is replaced; anything else there is not ours to
# delete (--out . in a clone would take the clone with it), so OUT must hold
# nothing but the files its SHA256SUMS names.
if [ -d "$out" ] && [ -n "$(find "$out" -mindepth 1 -maxdepth 1)" ]; then
    ours=""
    [ ! -f "$out/SHA256SUMS" ] || ours="$( { echo SHA256SUMS; awk '{print $2}' "$out/SHA256SUMS"; } | LC_ALL=C sort)"
    if [ -z "$ours" ] || [ "$(find "$out" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort)" != "$ours" ]; then
        echo "release.sh: $out is not a release this script made (it holds other files); give a new or empty folder" >&2
        exit 1
    fi
    (cd "$out" && xargs rm -f -- <<<"$ours")
fi
mkdir -p "$out"
bash "$ROOT/scripts/bundle.sh" "${build[@]}" >/dev/null
bash "$ROOT/scripts/msi.sh" --no-bundle --out "$out" >/dev/null
cp "$BUILD_ROOT/norvmon-$version-windows.zip" "$out/"
files=("norvmon-$version-windows.zip" "norvmon-$version-x86.msi" "norvmon-$version-x64.msi" "norvmon-$version-arm64.msi")
(cd "$out" && sha256sum "${files[@]}" >SHA256SUMS)
echo "release: $out"
sed 's/^/  /' "$out/SHA256SUMS"
