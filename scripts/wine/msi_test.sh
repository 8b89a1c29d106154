#!/usr/bin/env bash
# Proves one architecture's package in a fresh Wine prefix (x64: a 64-bit
# one; x86: a 32-bit one): silent install over a zip install with a port,
# the upgrade in one msiexec call and in Windows' two steps with the port
# kept, the wrong architecture refused, a removal that leaves nothing, then a
# clean install and a downgrade refused. The
# higher versions are the same binaries packaged as newer products. First,
# the signed bundle's norvinst refuses DLLs not signed with its certificate.
#
# Usage: scripts/wine/msi_test.sh x86|x64   (after scripts/msi.sh)
# Prints "msi ARCH: N passed, N failed" and exits non-zero on a failure.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
arch=${1:-}
[[ $arch == x86 || $arch == x64 ]] || { echo "usage: msi_test.sh x86|x64" >&2; exit 2; }
WORK="$BUILD_ROOT/wine/msi-$arch"
version="$(sed -n 's/^project(norvmon VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
other=$([ "$arch" = x86 ] && echo x64 || echo x86)
rm -rf "$WORK" && mkdir -p "$WORK/out"
for package in "$arch" "$other"; do
    [ -f "$BUILD_ROOT/norvmon-$version-$package.msi" ] || { echo "msi $arch: no norvmon-$version-$package.msi; run scripts/msi.sh" >&2; exit 1; }
done
v1="$BUILD_ROOT/norvmon-$version-$arch.msi"
v2="$WORK/norvmon-${version%.*}.$((${version##*.} + 1))-$arch.msi"
v3="$WORK/norvmon-${version%.*}.$((${version##*.} + 2))-$arch.msi"
for newer in "$v2" "$v3"; do
    v="$(basename "$newer" "-$arch.msi")"
    bash "$ROOT/scripts/msi.sh" --no-bundle --version "${v#norvmon-}" --out "$WORK" "$arch" >"$WORK/out/build.txt" 2>&1 ||
        { cat "$WORK/out/build.txt"; exit 1; }
done
code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" {print $2}'; }

# shellcheck source-path=SCRIPTDIR source=prefix.sh
. "$ROOT/scripts/wine/prefix.sh"
if [ "$arch" = x86 ]; then wine_prefix_init32 "$WORK/prefix"; else wine_prefix_init "$WORK/prefix"; fi >/dev/null || exit 1
trap wine_server_stop EXIT
wine_server_start
unset DISPLAY

passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then passed=$((passed + 1)); echo "  ok    $1"; else failed=$((failed + 1)); echo "  FAIL  $1"; fi
}
not() { ! "$@"; }
# Output goes to files: Wine's services keep pipes open.
count=0
msiexec() {  # msiexec ARGS...: the exit code as Wine gives it (cut to 8 bits)
    count=$((count + 1))
    LOG="$WORK/out/msiexec-$count.log"
    wine msiexec "$@" /qn /l*v "$(wine_path "$LOG")" >"$WORK/out/$count.txt" 2>&1
}
logged() { tr -d '\0\r' <"$LOG" | grep -qF "$1"; }
# The bundle's norvinst with its DLLs: the zip install, and the spooler's
# list read after the package is removed.
cp "$BUILD_ROOT/bundle/norvmon-$version-windows/$arch/"* "$WORK/"
norvinst() {
    (cd "$WORK" && wine ./norvinst.exe "$@") >"$WORK/out/norvinst.txt" 2>&1
    local rc=$?
    tr -d '\r' <"$WORK/out/norvinst.txt" | grep -v ':fixme:' >"$WORK/out/norvinst.clean"
    return $rc
}
listed() { norvinst ports && grep -q "^ *$1 .*NORV Monitor" "$WORK/out/norvinst.clean"; }
drive="$WINEPREFIX/drive_c"
system="$drive/windows/system32"
files=("$system/norvmon2.dll" "$system/norvmonui.dll" "$drive/Program Files/NORV Monitor/norvinst.exe"
    "$drive/Program Files/NORV Monitor/README.txt")
all_files() { local f; for f in "${files[@]}"; do [ -f "$f" ] || return 1; done; }
no_file() { local f; for f in "${files[@]}"; do [ ! -e "$f" ] || return 1; done; [ ! -e "$drive/Program Files/NORV Monitor" ]; }
key='HKLM\System\CurrentControlSet\Control\Print\Monitors\NORV Monitor'
# The 64-bit view: Wine's reg may run as a 32-bit program.
view=$([ "$arch" = x64 ] && echo /reg:64 || echo /reg:32)
has_key() { wine reg query "$1" "$view" >/dev/null 2>&1; }
uninstall_entry() { has_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(code "$1")"; }
# shellcheck disable=SC1003 # a Windows folder: its trailing backslash is meant
port='C:\Out\Scans\'
mkdir -p "$drive/Out/Scans"

echo "msi $arch: $(basename "$v1"), then $(basename "$v2") and $(basename "$v3")"
# A signed norvinst installs only DLLs signed with its own certificate, and
# names the file and the reason; an unsigned one says it checks nothing.
# scripts/msi_build_test.sh signed the bundle with its throwaway CA; a second
# certificate of that CA signs the stranger's DLL, so that only the signer
# comparison can refuse it. Wine's trust provider checks the digest and
# gives the signer, but takes any root as trusted (the CA is in no store of
# this prefix): a chain to an untrusted or expired root is refused on
# Windows only.
signing="$BUILD_ROOT/sign-test"
if [ -f "$signing/ca.key" ] && osslsigncode extract-signature -in "$WORK/norvinst.exe" -out "$WORK/out/sig.der" >/dev/null 2>&1; then
    openssl req -newkey rsa:2048 -nodes -subj "/CN=NORV Test Stranger" -keyout "$WORK/stranger.key" \
        -out "$WORK/stranger.csr" >/dev/null 2>&1
    openssl x509 -req -in "$WORK/stranger.csr" -CA "$signing/ca.pem" -CAkey "$signing/ca.key" -set_serial 2 -days 2 \
        -extfile "$signing/ext.cnf" -out "$WORK/stranger.pem" >/dev/null 2>&1
    in_case() {  # in_case NAME: a copy of the signed norvinst and DLLs in $WORK/signature/NAME
        mkdir -p "$WORK/signature/$1" && cp "$WORK/norvinst.exe" "$WORK/norvmon2.dll" "$WORK/norvmonui.dll" "$WORK/signature/$1/"
    }
    unsigned() { rm -f "$1.tmp" && osslsigncode remove-signature -in "$1" -out "$1.tmp" >/dev/null && mv "$1.tmp" "$1"; }
    flip() {  # flip FILE AT: one bit of the byte at AT
        printf '%b' "\\x$(printf %02x $((0x$(xxd -s "$2" -l 1 -p "$1") ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
    }
    install_in() {  # install_in NAME EXIT PATTERN: norvinst install there exits EXIT, saying PATTERN
        (cd "$WORK/signature/$1" && wine ./norvinst.exe install) >"$WORK/out/signature-$1.txt" 2>&1
        local rc=$?
        tr -d '\r' <"$WORK/out/signature-$1.txt" | grep -v ':fixme:' >"$WORK/out/signature-$1.clean"
        if [ "$rc" -ne "$2" ] || ! grep -qF -- "$3" "$WORK/out/signature-$1.clean"; then
            sed 's/^/        /' "$WORK/out/signature-$1.clean"
            echo "        (exit code $rc, expected $2)"
            return 1
        fi
    }
    refused() { install_in "$@" && [ ! -e "$system/norvmon2.dll" ]; }
    in_case unsigned && unsigned "$WORK/signature/unsigned/norvmon2.dll"
    in_case stranger && NORV_SIGN_CERT="$WORK/stranger.pem" NORV_SIGN_KEY="$WORK/stranger.key" \
        bash "$ROOT/scripts/sign.sh" "$WORK/signature/stranger/norvmon2.dll" >/dev/null
    in_case tampered && flip "$WORK/signature/tampered/norvmon2.dll" $(($(stat -c %s "$WORK/norvmon2.dll") / 3))
    # Its version resource's "Norvale" made "Oorvale": it runs, its digest is off.
    in_case self && flip "$WORK/signature/self/norvinst.exe" \
        "$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().find("Norvale".encode("utf-16-le")))' "$WORK/norvinst.exe")"
    dll="$(wine_path "$WORK/signature")"
    check "signed norvinst, unsigned norvmon2.dll: refused (exit 12), naming it" \
        refused unsigned 12 "$dll\\unsigned\\norvmon2.dll was not installed: it is not signed"
    check "signed norvinst, norvmon2.dll signed by another certificate of the same CA: refused, naming both" \
        refused stranger 12 "norvmon2.dll was not installed: it is signed by \"NORV Test Stranger\", not with this norvinst's certificate (\"NORV Test Signer\")"
    check "signed norvinst, norvmon2.dll changed after signing: refused, its signature does not verify" \
        refused tampered 12 "norvmon2.dll was not installed: its signature does not verify: the file was changed after it was signed"
    check "a signed norvinst changed after signing installs nothing" \
        refused self 12 "this norvinst is signed, but its own signature does not verify, so no DLL can be checked against it: the file was changed after it was signed"
    in_case plain && unsigned "$WORK/signature/plain/norvinst.exe" && unsigned "$WORK/signature/plain/norvmon2.dll"
    check "an unsigned norvinst says it checks nothing, and installs an unsigned norvmon2.dll" \
        install_in plain 0 "This norvinst is not signed: it checks no signature of the DLLs it installs."
    (cd "$WORK/signature/plain" && wine ./norvinst.exe uninstall) >"$WORK/out/signature-uninstall.txt" 2>&1
    check "  and uninstalls it" test $? -eq 0
else
    check "the bundle is signed with scripts/msi_build_test.sh's CA (run it first)" false
fi
# A machine installed from the zip, with a port, moves to the package.
check "norvinst install from the bundle" norvinst install
check "  signed, it installs only DLLs signed with its own certificate" \
    grep -qF 'This norvinst is signed by "NORV Test Signer": it installs only DLLs signed with the same certificate.' \
    "$WORK/out/norvinst.clean"
check "norvinst add-port $port" norvinst add-port 'C:\Out\Scans'
msiexec /i "$(wine_path "$v1")"
check "msiexec /i $(basename "$v1") /qn over it exits 0" test $? -eq 0
check "the pair is in system32, norvinst and README in Program Files" all_files
check "NORV is listed with NORV Monitor" listed NORV
# shellcheck disable=SC1003 # the listing's Windows folder, its backslashes escaped for grep
check "the port from the zip install is kept" listed 'C:\\Out\\Scans\\'

msiexec /i "$(wine_path "$v2")"
check "one msiexec /i of $(basename "$v2") exits 0" test $? -eq 0
# shellcheck disable=SC1003 # the listing's Windows folder, its backslashes escaped for grep
check "the port is kept" listed 'C:\\Out\\Scans\\'
check "the files are kept" all_files
# shellcheck disable=SC2016 # eval expands it when the check runs
check "only the newer product has an uninstall entry" eval 'uninstall_entry "$v2" && ! uninstall_entry "$v1"'

msiexec /x "$(wine_path "$v2")" UPGRADINGPRODUCTCODE="$(code "$v3")"
check "two steps: msiexec /x with UPGRADINGPRODUCTCODE exits 0" test $? -eq 0
check "it skips the unregistration (the monitor key stays)" has_key "$key"
msiexec /i "$(wine_path "$v3")"
check "then msiexec /i $(basename "$v3") exits 0" test $? -eq 0
# shellcheck disable=SC1003 # the listing's Windows folder, its backslashes escaped for grep
check "the port is kept" listed 'C:\\Out\\Scans\\'
check "the files are back" all_files

msiexec /i "$(wine_path "$BUILD_ROOT/norvmon-$version-$other.msi")"
check "the $other package is refused" test $? -ne 0
# /qn logs no message text; the messages are checked in the tables (msi_check.sh).
# A 32-bit Windows does not open an x64 package at all.
if [ "$arch" = x64 ]; then check "by its launch conditions" logged "LaunchConditions. Return value 0"; fi
check "and nothing of it is installed" not uninstall_entry "$BUILD_ROOT/norvmon-$version-$other.msi"
# shellcheck disable=SC2016 # eval expands it when the check runs
check "the installed product is untouched" eval 'uninstall_entry "$v3" && all_files && listed NORV'

msiexec /x "$(wine_path "$v3")"
check "msiexec /x exits 0" test $? -eq 0
check "no file is left" no_file
check "no monitor key is left" not has_key "$key"
check "no uninstall entry is left" not uninstall_entry "$v3"
# shellcheck disable=SC2016 # expanded by eval when the check runs
check "NORV Monitor is not registered" eval 'norvinst status; [ $? -eq 4 ]'
check "no port of NORV Monitor is listed" not grep -q "NORV Monitor" <(norvinst ports; cat "$WORK/out/norvinst.clean")

# Last, in the emptied prefix: a downgrade that got through would leave an
# older product beside the newer one and spoil the checks above.
msiexec /i "$(wine_path "$v2")"
check "on the emptied machine msiexec /i $(basename "$v2") registers NORV Monitor" listed NORV
msiexec /i "$(wine_path "$v1")"
# The exit code is not asserted: the 32-bit msiexec under Wine gives 0 here.
check "a downgrade from $(basename "$v2") to $(basename "$v1") is refused by its launch condition" logged "LaunchConditions. Return value 0"
# shellcheck disable=SC2016 # eval expands it when the check runs
check "and the newer product stays alone" eval 'uninstall_entry "$v2" && ! uninstall_entry "$v1"'
uninstall_entry "$v1" && msiexec /x "$(wine_path "$v1")"
msiexec /x "$(wine_path "$v2")"

echo "msi $arch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
