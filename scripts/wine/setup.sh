#!/usr/bin/env bash
# Installs, from Debian's packages, what the Wine-hosted tests and the demo
# need and this machine lacks: wine64, wine32:i386 (so that a prefix runs
# both the 32-bit and the 64-bit monitor), Xvfb, ImageMagick, the X11 tools
# and the -posix MinGW-w64 compilers. Installs nothing that is already there.
#
# Usage: scripts/wine/setup.sh
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

# apt may be held for a while by another install on the same machine.
apt_run() {
    local tries=0
    until $SUDO apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"; do
        tries=$((tries + 1))
        if [ "$tries" -ge 5 ]; then
            echo "setup: apt-get $* failed $tries times" >&2
            return 1
        fi
        echo "setup: apt-get $* failed, retrying in 10 s" >&2
        sleep 10
    done
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for pkg in wine wine64 xvfb xauth imagemagick x11-utils cmake make \
           g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest; do
    installed "$pkg" || missing+=("$pkg")
done

need_i386=0
if ! installed wine32:i386; then
    need_i386=1
fi

updated=0
if [ "${#missing[@]}" -gt 0 ] || [ "$need_i386" -eq 1 ]; then
    if [ "$need_i386" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding the i386 architecture (for 32-bit Wine)"
        $SUDO dpkg --add-architecture i386
    fi
    echo "setup: apt-get update"
    apt_run update
    updated=1
fi

if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt_run install "${missing[@]}"
fi

if [ "$need_i386" -eq 1 ]; then
    echo "setup: installing wine32:i386"
    apt_run install wine32:i386
fi

if [ "$updated" -eq 0 ]; then
    echo "setup: Wine, Xvfb, ImageMagick and the MinGW-w64 compilers are present"
fi
