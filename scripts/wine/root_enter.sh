#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs a command inside a Debian root made by root_make.sh, as the calling
# user, with /dev, /proc and the given host folders mounted at their own
# paths, and in the calling folder where the root sees it. Root (directly or
# through password-less sudo) is used only for the mounts and chroot: what
# the command writes is the caller's. The mounts live in a private mount
# namespace and go with it, however the command ends.
#
# Usage: scripts/wine/root_enter.sh ROOT [--bind DIR]... -- COMMAND [ARG]...
# Passed in: DISPLAY, XAUTHORITY, USER, the WINE* and NORV_* settings and
# those the Wine scripts share (BUILD_ROOT, WORK, SUITE_TIMEOUT, ...); PATH
# is the root's, LANG C.UTF-8 (Wine names Unix files in the locale's
# charset: without a UTF-8 locale a folder with non-ASCII letters is lost),
# unless LOCPATH brings a locale: then LANG and LC_ALL are the caller's.
set -uo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=root_probe.sh
. "$here/root_probe.sh"

root=${1:?usage: root_enter.sh ROOT [--bind DIR]... -- COMMAND...}
shift
binds=()
while [ "${1:-}" = --bind ]; do
    dir="$(cd "$2" && pwd)" || exit 2
    binds+=("$dir")
    shift 2
done
[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] || { echo "root_enter: no command" >&2; exit 2; }

vars=(HOME=/tmp PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "USER=$(id -un)")
for name in $(compgen -e); do
    case "$name" in
        DISPLAY | XAUTHORITY | WINE* | NORV_* | BUILD_ROOT | WORK | SUITE_TIMEOUT | SUITE_ARCHES | ROOT | DEMO | SHOTS)
            vars+=("$name=${!name}") ;;
    esac
done
# A caller that brings its own locale files (the German run's LOCPATH, in a
# bound folder) brings its language too; the root has no other locale.
if [ -n "${LOCPATH:-}" ]; then
    vars+=("LOCPATH=$LOCPATH")
    [ -n "${LANG:-}" ] && vars+=("LANG=$LANG")
    [ -n "${LC_ALL:-}" ] && vars+=("LC_ALL=$LC_ALL")
fi

root_sudo_words
# exec all the way down: a timeout around this script stops the command.
# shellcheck disable=SC2016  # expanded by the inner shell
exec "${ROOT_SUDO[@]}" unshare --mount --propagation private bash -c '
    root=$1 user=$2 cwd=$3
    shift 3
    mount --rbind /dev "$root/dev" && mount -t proc proc "$root/proc" || exit 125
    while [ "$1" != -- ]; do
        mkdir -p "$root$1" && mount --rbind "$1" "$root$1" || exit 125
        shift
    done
    shift
    exec chroot --userspec="$user" "$root" /bin/sh -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$cwd" "$@"
' root_enter "$root" "$(id -u):$(id -g)" "$PWD" "${binds[@]}" -- /usr/bin/env -i "${vars[@]}" "$@"
