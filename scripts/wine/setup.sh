#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Installs, from Debian's packages, what the Wine-hosted tests and the demo
# need and this machine lacks: wine and wine64, Xvfb, ImageMagick, the X11
# tools, xdotool and the -posix MinGW-w64 compilers; and, where this machine
# runs 32-bit programs (scripts/machine.sh asks it first), the i386
# architecture and wine32:i386, so that a prefix runs both monitors. Where
# it does not, or with NORV_WINE_ARCHES=x64, nothing i386 is installed and
# Wine runs 64-bit only. Installs nothing that is already there.
#
# Where wine32:i386 cannot be installed (an i386 index in mid-sync no longer
# matches the amd64 packages), the x86 Wine steps run in a Debian i386 root
# with wine32 instead (root_make.sh i386; scripts/wine/loader.sh uses it);
# where that cannot be made either, Wine runs 64-bit only, and the one line
# saying why is kept in build/wine-x86-left-out for the test command. That
# answer stands for NORV_X86_RETRY_MINUTES (default 30) before both are
# tried again. Fails only when something the 64-bit run needs cannot be
# installed.
#
# Usage: scripts/wine/setup.sh
set -uo pipefail

MACHINE_WHO=setup
here="$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=loader.sh
. "$here/loader.sh"
# shellcheck source=root_probe.sh
. "$here/root_probe.sh"
machine_wine_arches || exit 1

missing=()
for pkg in wine wine64 xvfb xauth imagemagick x11-utils xdotool cmake make locales \
           g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest; do
    machine_installed "$pkg" || missing+=("$pkg")
done
want32=0 shown="$MACHINE_WINE_ARCHES"
if [ "$MACHINE_WINE_ARCHES" = "x86 x64" ] && ! machine_installed wine32:i386; then
    if root_made i386; then
        echo "setup: x86 Wine runs in the i386 root $ROOT_DIR (wine32:i386 is not installed here)"
    elif [ -n "$(find "$WINE_X86_NOTE" -mmin "-${NORV_X86_RETRY_MINUTES:-30}" 2>/dev/null)" ]; then
        echo "setup: 64-bit Wine only: $(cat "$WINE_X86_NOTE")"
        shown=x64
    else
        want32=1
    fi
fi

if [ "${#missing[@]}" -eq 0 ] && [ "$want32" -eq 0 ]; then
    echo "setup: Wine ($shown), Xvfb, ImageMagick, xdotool and the MinGW-w64 compilers are present"
    exit 0
fi
[ -n "$MACHINE_X86_LEFT_OUT" ] && echo "setup: 64-bit Wine only, no i386 packages: $MACHINE_X86_LEFT_OUT"
machine_sudo "${missing[@]}" || exit 1
if [ "$want32" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture (for 32-bit Wine)"
    "${MACHINE_SUDO[@]}" dpkg --add-architecture i386 || exit 1
fi
echo "setup: apt-get update"
update_error=""
machine_apt_update || update_error="$MACHINE_APT_ERROR"
if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    machine_apt install "${missing[@]}" || exit 1
fi
[ "$want32" -eq 1 ] || exit 0

echo "setup: installing wine32:i386"
if machine_apt install wine32:i386 >/dev/null 2>&1; then
    rm -f "$WINE_X86_NOTE"
    exit 0
fi
why="wine32:i386 cannot be installed (${MACHINE_APT_ERROR:-apt-get failed}${update_error:+; apt-get update: $update_error})"
echo "setup: $why; making a Debian i386 root with wine32 for the x86 steps instead"
root_can_make
case $? in
    0) made="$(root_sudo bash "$here/root_make.sh" i386 2>&1 >/dev/null | tee /dev/stderr)"
       if root_made i386; then
           echo "setup: x86 Wine runs in the i386 root $ROOT_DIR"
           rm -f "$WINE_X86_NOTE"
           exit 0
       fi
       made="$(grep -m1 -E "failed|ran past|is not installed" <<<"$made" | sed 's/^i386-root: //; s/:$//')"
       why="$why, and the i386 root could not be made (${made:-see $ROOT_DIR.log})" ;;
    *) why="$why, and no i386 root can be made here: ${ROOT_LEFT_OUT:-debootstrap could not be installed}" ;;
esac
mkdir -p "$(dirname "$WINE_X86_NOTE")" && echo "$why" >"$WINE_X86_NOTE"
echo "setup: 64-bit Wine only: $why"
