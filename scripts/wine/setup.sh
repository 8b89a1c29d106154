#!/usr/bin/env bash
# Installs, from Debian's packages, what the Wine-hosted tests and the demo
# need and this machine lacks: wine and wine64, Xvfb, ImageMagick, the X11
# tools, xdotool and the -posix MinGW-w64 compilers; and, where this machine
# runs 32-bit programs (scripts/machine.sh asks it first), the i386
# architecture and wine32:i386, so that a prefix runs both monitors. Where
# it does not, or with NORV_WINE_ARCHES=x64, nothing i386 is installed and
# Wine runs 64-bit only. Installs nothing that is already there.
#
# Usage: scripts/wine/setup.sh
set -uo pipefail

MACHINE_WHO=setup
# shellcheck source=../machine.sh
. "$(dirname "${BASH_SOURCE[0]}")/../machine.sh"
machine_wine_arches || exit 1

missing=()
for pkg in wine wine64 xvfb xauth imagemagick x11-utils xdotool cmake make locales \
           g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest; do
    machine_installed "$pkg" || missing+=("$pkg")
done
if [ "$MACHINE_WINE_ARCHES" = "x86 x64" ] && ! machine_installed wine32:i386; then
    missing+=(wine32:i386)
fi

if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: Wine ($MACHINE_WINE_ARCHES), Xvfb, ImageMagick, xdotool and the MinGW-w64 compilers are present"
    exit 0
fi
[ -n "$MACHINE_X86_LEFT_OUT" ] && echo "setup: 64-bit Wine only, no i386 packages: $MACHINE_X86_LEFT_OUT"
machine_sudo "${missing[@]}" || exit 1
if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture (for 32-bit Wine)"
    "${MACHINE_SUDO[@]}" dpkg --add-architecture i386 || exit 1
fi
echo "setup: apt-get update"
machine_apt update >/dev/null || exit 1
echo "setup: installing ${missing[*]}"
machine_apt install "${missing[@]}" || exit 1
