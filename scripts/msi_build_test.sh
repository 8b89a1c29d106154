#!/usr/bin/env bash
# Builds the bundle and the MSI packages signed with a throwaway CA, verifies
# every signed file against it, shows that one flipped byte is caught, runs
# check-dll.sh on the signed DLLs, and shows that the table check fails on
# each fault wixl is known for. Needs the windows-x86/x64/arm64 builds.
#
# Usage: scripts/msi_build_test.sh
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
WORK="$BUILD_ROOT/sign-test"
version="$(sed -n 's/^project(norvmon VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
stage="$BUILD_ROOT/bundle/norvmon-$version-windows"
passed=0 failed=0
check() {
    if "${@:2}" >"$WORK/last.txt" 2>&1; then passed=$((passed + 1)); echo "  ok    $1"
    else failed=$((failed + 1)); echo "  FAIL  $1"; sed 's/^/        /' "$WORK/last.txt" | tail -n 5; fi
}
not() { ! "$@"; }

rm -rf "$WORK" && mkdir -p "$WORK"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=NORV Test CA" -keyout "$WORK/ca.key" -out "$WORK/ca.pem" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=NORV Test Signer" -keyout "$WORK/sign.key" -out "$WORK/sign.csr" >/dev/null 2>&1
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$WORK/ext.cnf"
openssl x509 -req -in "$WORK/sign.csr" -CA "$WORK/ca.pem" -CAkey "$WORK/ca.key" -CAcreateserial -days 2 \
    -extfile "$WORK/ext.cnf" -out "$WORK/sign.pem" >/dev/null 2>&1
export NORV_SIGN_CERT="$WORK/sign.pem" NORV_SIGN_KEY="$WORK/sign.key"

start=$(date +%s.%N)
check "bundle.sh signs and bundles" bash "$ROOT/scripts/bundle.sh" --no-build
check "msi.sh builds, checks and signs the packages" bash "$ROOT/scripts/msi.sh" --no-bundle
echo "  msi build: $(echo "$(date +%s.%N) - $start" | bc) s (bundle and packages)"
signed=("$stage"/*/*.dll "$stage"/*/*.exe "$BUILD_ROOT"/norvmon-"$version"-*.msi)
for file in "${signed[@]}"; do
    check "verifies: ${file#"$BUILD_ROOT"/}" osslsigncode verify -CAfile "$WORK/ca.pem" -in "$file"
done
for dll in "$stage"/*/norvmon*.dll; do
    arch="$(basename "$(dirname "$dll")")"
    check "check-dll.sh passes on the signed ${dll#"$stage"/}" bash "$ROOT/scripts/check-dll.sh" "$dll" "$arch"
done

# One flipped byte in the middle of the file, signed part of it.
tamper() {
    local copy at
    copy="$WORK/tampered-$(basename "$1")"
    cp "$1" "$copy"
    at=$(($(stat -c %s "$copy") / 3))
    printf '%b' "\\x$(printf %02x $((0x$(xxd -s "$at" -l 1 -p "$copy") ^ 1)))" | dd of="$copy" bs=1 seek="$at" conv=notrunc status=none
    not osslsigncode verify -CAfile "$WORK/ca.pem" -in "$copy"
}
check "a tampered norvmon2.dll is caught" tamper "$stage/x64/norvmon2.dll"
check "a tampered package is caught" tamper "$BUILD_ROOT/norvmon-$version-x64.msi"

# The table check fails on each fault, made in a copy of the mended package.
msi="$BUILD_ROOT/norvmon-$version-x64.msi"
check "the table check passes the signed package" bash "$ROOT/scripts/msi_check.sh" "$msi" x64 "$version" "$stage/x64"
faults=(
    "rollback action built as immediate|UPDATE CustomAction SET Type=2130 WHERE Action='UnregisterOnRollback'"
    "deferred action left impersonating|UPDATE CustomAction SET Type=1042 WHERE Action='RegisterMonitor'"
    "RemoveExistingProducts early|UPDATE InstallExecuteSequence SET Sequence=1450 WHERE Action='RemoveExistingProducts'"
    "a sequence naming a missing action|INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RunNorvinst', 6570)"
    "an empty DLL version|UPDATE File SET Version='' WHERE File='norvmon2.dll'"
    "the x86 template|SUMMARY Intel;1033"
    "a Subject overwritten|SUBJECT NORV Monitor"
)
for fault in "${faults[@]}"; do
    copy="$WORK/fault.msi"
    cp "$msi" "$copy"
    change="${fault#*|}"
    revision="$(msiinfo suminfo "$copy" | sed -n 's/^Revision number (UUID): //p')"
    case "$change" in
        SUMMARY\ *) msibuild "$copy" -s "NORV Monitor $version (x64)" Norvale "${change#SUMMARY }" "$revision" ;;
        SUBJECT\ *) msibuild "$copy" -s "${change#SUBJECT }" Norvale "x64;1033" "$revision" ;;
        *) msibuild "$copy" -q "$change" ;;
    esac
    check "the table check fails on ${fault%%|*}" not bash "$ROOT/scripts/msi_check.sh" "$copy" x64 "$version" "$stage/x64"
done

# The signed release against the unsigned one the release step made from the
# same builds (scripts/release.sh): the same in what each signature covers,
# as verify.sh compares a downloaded release; and not when a package is another.
signed_release() {
    local dir=$WORK/signed-release
    [ -f "$BUILD_ROOT/release/SHA256SUMS" ] || { echo "no unsigned release in $BUILD_ROOT/release: run scripts/release.sh --no-build first"; return 1; }
    rm -rf "$dir" && mkdir -p "$dir" &&
        cp "$BUILD_ROOT/norvmon-$version-windows.zip" "$BUILD_ROOT"/norvmon-"$version"-*.msi "$dir/" &&
        { [ -z "${1:-}" ] || cp "$BUILD_ROOT/norvmon-$version-$1.msi" "$dir/norvmon-$version-x64.msi"; } &&
        (cd "$dir" && sha256sum norvmon-* >SHA256SUMS) &&
        bash "$ROOT/scripts/release_diff.sh" --signed "$dir" "$BUILD_ROOT/release"
}
check "release_diff.sh --signed: the signed release matches the unsigned one" signed_release
check "release_diff.sh --signed: not with the x86 package as the x64 one" not signed_release x86

echo "msi packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
