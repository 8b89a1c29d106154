#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Installs, from Debian's packages, what the given parts of the project need
# and this machine lacks. Parts: native windows fuzz bench valgrind bundle msi lint wine
# arm64 (the ARM64 compilers, then scripts/arm64-sdk.sh's import libraries).
# Wine's packages depend on whether this machine runs 32-bit programs; see
# scripts/wine/setup.sh.
set -uo pipefail

# shellcheck disable=SC2034  # the name machine.sh puts before its messages
MACHINE_WHO=install-deps
# shellcheck source=machine.sh
. "$(dirname "${BASH_SOURCE[0]}")/machine.sh"

declare -A PACKAGES=(
    [native]="cmake make g++ googletest libgtest-dev"
    [windows]="g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 python3-pefile"
    [fuzz]="clang libclang-rt-14-dev"
    [bench]="libbenchmark-dev"
    [valgrind]="valgrind"
    [bundle]="zip unzip"
    [msi]="wixl msitools osslsigncode openssl python3 python3-olefile diffoscope-minimal"
    [lint]="shellcheck"
    [arm64-wine]="debootstrap qemu-user-static binfmt-support"
    [arm64]="clang lld llvm dpkg-dev mingw-w64-common g++-mingw-w64-x86-64-posix"
)

wanted=()
for part in "$@"; do
    [[ $part == wine ]] && continue
    [[ -n ${PACKAGES[$part]+x} ]] || { echo "install-deps: unknown part '$part'" >&2; exit 2; }
    read -ra pkgs <<<"${PACKAGES[$part]}"
    wanted+=("${pkgs[@]}")
done
machine_install "${wanted[@]}" || exit 1

for part in "$@"; do
    if [[ $part == wine ]]; then
        bash "$(dirname "$0")/wine/setup.sh" || exit 1
    fi
    if [[ $part == arm64 ]]; then
        bash "$(dirname "${BASH_SOURCE[0]}")/arm64-sdk.sh" >/dev/null || exit 1
    fi
done
