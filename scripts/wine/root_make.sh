#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Makes the Debian root NAME (see root_contents.sh) with debootstrap, or finds
# it made, and prints its folder on its last line. Runs as root (callers go
# through root_sudo in root_probe.sh).
#
# Usage: scripts/wine/root_make.sh arm64|wine10|i386
#
# The root is made in NAME-root.partial and moved into place only once
# debootstrap succeeded and the root's own package database shows every
# wanted package installed; its stamp is written inside it before the move.
# So a root in place is always whole, and a failed or interrupted make
# leaves nothing that is used. One maker at a time; a second one waits and
# then finds the root made. A mirror that fails (one in mid-sync serves
# files whose size or checksum does not match its index) is said to be the
# cause, and is tried once more after a pause.
#
# Settings: NORV_CACHE (the cache folder, default /var/cache/norv),
# NORV_DEBIAN_MIRROR (default: this machine's own Debian archive),
# NORV_DEBOOTSTRAP_TIMEOUT (seconds, default 900), NORV_ROOT_RETRY_PAUSE
# (seconds before the second try after a mirror failure, default 60).
set -uo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=root_contents.sh
. "$here/root_contents.sh"
# shellcheck source=root_mirror.sh
. "$here/root_mirror.sh"

name=${1:-}
root_contents "$name" || exit 2
if root_made "$name"; then
    echo "$ROOT_DIR"
    exit 0
fi
mkdir -p "$ROOT_CACHE" || exit 1
exec 9>"$ROOT_CACHE/$name-root.lock"
flock 9
if root_made "$name"; then
    echo "$ROOT_DIR"
    exit 0
fi

partial="$ROOT_DIR.partial" log="$ROOT_DIR.log" timeout="${NORV_DEBOOTSTRAP_TIMEOUT:-900}"
archive="$(root_mirror "$ROOT_SUITE")"
mirror_trouble='unexpected size|Mirror sync in progress|Hash Sum mismatch|[Cc]ouldn.t download|Failed getting release file|Invalid Release|Failed to fetch|Connection (timed out|refused)|Temporary failure resolving'

# make_once: 0 when debootstrap made $partial; 3 when the mirror failed.
make_once() {
    local rc
    # --one-file-system: never into anything an interrupted run left mounted.
    rm -rf --one-file-system "$ROOT_DIR" "$partial" || return 1
    # debootstrap mounts /proc and /sys inside the root; a private mount
    # namespace takes those mounts away with it, even when it is stopped.
    timeout "$timeout" unshare --mount --propagation private \
        debootstrap --arch="$ROOT_ARCH" --variant=minbase --include="$ROOT_PACKAGES" \
        "$ROOT_SUITE" "$partial" "$archive" >"$log" 2>&1
    rc=$?
    [ "$rc" -eq 0 ] && return 0
    if [ "$rc" -eq 124 ]; then
        echo "$name-root: debootstrap ran past $timeout s; on a slow link set NORV_DEBOOTSTRAP_TIMEOUT" >&2
        return 1
    fi
    if grep -qE "$mirror_trouble" "$log"; then
        echo "$name-root: the Debian mirror $archive failed while making the root (in mid-sync, or out of reach):" >&2
        grep -E "$mirror_trouble" "$log" | head -n 2 | sed 's/^/  /' >&2
        return 3
    fi
    echo "$name-root: debootstrap failed (exit $rc); the end of $log:" >&2
    tail -n 5 "$log" | sed 's/^/  /' >&2
    return 1
}

# whole: every wanted package is installed, by the root's own dpkg database.
whole() {
    local pkg status
    for pkg in ${ROOT_PACKAGES//,/ }; do
        status="$(dpkg-query --admindir="$partial/var/lib/dpkg" -W -f='${Status}' "$pkg" 2>/dev/null)"
        [ "$status" = "install ok installed" ] && continue
        echo "$name-root: debootstrap ended, yet $pkg is not installed in the root (${status:-not there}); see $log" >&2
        return 1
    done
}

start=$SECONDS
echo "$name-root: making $ROOT_DIR from $archive ($ROOT_SUITE $ROOT_ARCH, $ROOT_PACKAGES; a few minutes, log: $log)" >&2
make_once
rc=$?
if [ "$rc" -eq 3 ]; then
    pause="${NORV_ROOT_RETRY_PAUSE:-60}"
    echo "$name-root: trying once more in $pause s" >&2
    sleep "$pause"
    make_once
    rc=$?
fi
if [ "$rc" -ne 0 ] || ! whole; then
    rm -rf --one-file-system "$partial"
    echo "$name-root: not made; nothing of it is kept" >&2
    exit 1
fi
rm -f "$partial"/var/cache/apt/archives/*.deb
mkdir -p "$partial/tmp/.X11-unix"
echo "$ROOT_WANTED" >"$partial/.norv-$name-root" && mv -T "$partial" "$ROOT_DIR" || exit 1
echo "$name-root: made in $((SECONDS - start)) s, $(du -sh "$ROOT_DIR" | cut -f1)" >&2
echo "$ROOT_DIR"
