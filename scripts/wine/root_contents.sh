# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# What each cached Debian root holds and where it lives. Source it, then:
#
#   root_contents NAME    sets ROOT_ARCH, ROOT_SUITE, ROOT_PACKAGES, ROOT_WANTED
#                     (the line its stamp holds) and ROOT_DIR
#   root_made NAME    0 when the root NAME is made as wanted; prints nothing
#
# The roots (in ${NORV_CACHE:-/var/cache/norv}, outside the clone, so that
# fresh clones reuse them):
#   arm64   Debian 12's arm64 Wine, run under qemu-user
#   wine10  Debian 13's Wine 10 on amd64, a second host for the x64 suite
#   i386    Debian 12's 32-bit Wine, for the x86 steps where wine32:i386
#           cannot be installed on this machine (an i386 index in mid-sync)
# All come from a suite's main archive alone, whose packages always agree
# with one another.

ROOT_CACHE="${NORV_CACHE:-/var/cache/norv}"

# shellcheck disable=SC2034  # the settings are read by the files that source this one
root_contents() {
    case "$1" in
        arm64) ROOT_ARCH=arm64 ROOT_SUITE=bookworm ROOT_PACKAGES=wine,wine64,libwine,ca-certificates ;;
        wine10) ROOT_ARCH=amd64 ROOT_SUITE=trixie ROOT_PACKAGES=wine,wine64,libwine,ca-certificates ;;
        i386) ROOT_ARCH=i386 ROOT_SUITE=bookworm ROOT_PACKAGES=wine,wine32,libwine,ca-certificates ;;
        *) echo "root: no root named $1" >&2; return 2 ;;
    esac
    # The stamp holds this line: a root made for another one is made again.
    ROOT_WANTED="$ROOT_SUITE minbase $ROOT_PACKAGES"
    ROOT_DIR="$ROOT_CACHE/$1-root"
}

root_made() {
    root_contents "$1" || return 2
    [ "$(cat "$ROOT_DIR/.norv-$1-root" 2>/dev/null)" = "$ROOT_WANTED" ]
}
