#!/usr/bin/env bash
# Installs, from Debian's packages, what the given parts of the project need
# and this machine lacks. Parts: native windows fuzz bench valgrind bundle wine.
set -euo pipefail

declare -A PACKAGES=(
    [native]="cmake make g++ googletest libgtest-dev"
    [windows]="g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64"
    [fuzz]="clang libclang-rt-14-dev"
    [bench]="libbenchmark-dev"
    [valgrind]="valgrind"
    [bundle]="zip unzip"
)

missing=()
for part in "$@"; do
    if [[ $part == wine ]]; then continue; fi
    [[ -n ${PACKAGES[$part]+x} ]] || { echo "install-deps: unknown part '$part'" >&2; exit 2; }
    for pkg in ${PACKAGES[$part]}; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
done

if ((${#missing[@]})); then
    echo "install-deps: installing ${missing[*]}"
    SUDO=""
    [[ $(id -u) -eq 0 ]] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

for part in "$@"; do
    if [[ $part == wine ]]; then
        bash "$(dirname "$0")/wine/setup.sh" install
    fi
done
