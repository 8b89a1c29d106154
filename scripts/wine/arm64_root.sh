#!/usr/bin/env bash
# Makes the ARM64 Debian root that ARM64 Wine runs in, once, and caches it
# outside the clone so that fresh clones reuse it:
#   ${NORV_CACHE:-/var/cache/norv}/arm64-root
# A root counts as made only once its stamp is written, last: an interrupted
# debootstrap is removed and started again. Needs root and a machine that
# runs ARM64 programs (scripts/wine/arm64_machine.sh).
#
# Usage: scripts/wine/arm64_root.sh     prints the root's folder on its last line
# Settings: NORV_CACHE (the cache folder), NORV_DEBOOTSTRAP_TIMEOUT (seconds,
# default 900), NORV_ARM64_MIRROR (default: this machine's own Debian archive).
set -uo pipefail

CACHE="${NORV_CACHE:-/var/cache/norv}"
ROOT_DIR="$CACHE/arm64-root"
STAMP="$ROOT_DIR/.norv-arm64-root"
SUITE=bookworm
PACKAGES=wine,wine64,libwine,ca-certificates
WANTED="$SUITE minbase $PACKAGES"
TIMEOUT="${NORV_DEBOOTSTRAP_TIMEOUT:-900}"

made() { [ "$(cat "$STAMP" 2>/dev/null)" = "$WANTED" ]; }

if made; then
    echo "$ROOT_DIR"
    exit 0
fi

# The first archive of this machine's apt sources that carries the suite.
mirror() {
    [ -n "${NORV_ARM64_MIRROR:-}" ] && { echo "$NORV_ARM64_MIRROR"; return; }
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk -v s="$SUITE" '$1 == "deb" { for (i = 2; i < NF; i++) if ($i !~ /^\[/ && $(i + 1) == s) { print $i; exit } }' \
            "$file" | grep . && return
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v s="$SUITE" 'BEGIN { RS = ""; FS = "\n" }
            { uri = ""; hit = 0
              for (i = 1; i <= NF; i++) {
                  if ($i ~ /^URIs:/) { split($i, u, " "); uri = u[2] }
                  if ($i ~ /^Suites:/) { n = split($i, w, " "); for (j = 2; j <= n; j++) if (w[j] == s) hit = 1 }
              }
              if (hit && uri != "") { print uri; exit } }' "$file" | grep . && return
    done
    echo http://deb.debian.org/debian
}

mkdir -p "$CACHE" || exit 1
# One maker at a time; a second run waits and then finds the root made.
exec 9>"$CACHE/arm64-root.lock"
flock 9
if made; then
    echo "$ROOT_DIR"
    exit 0
fi

partial="$CACHE/arm64-root.partial"
log="$CACHE/arm64-root.log"
# --one-file-system: never into anything an interrupted run left mounted.
rm -rf --one-file-system "$ROOT_DIR" "$partial" || exit 1
archive="$(mirror)"
echo "arm64-root: making $ROOT_DIR from $archive ($SUITE, $PACKAGES; a few minutes, log: $log)" >&2
start=$SECONDS
# debootstrap mounts /proc and /sys inside the root; a private mount
# namespace takes those mounts away with it, even when it is stopped.
timeout "$TIMEOUT" unshare --mount --propagation private \
    debootstrap --arch=arm64 --variant=minbase --include="$PACKAGES" "$SUITE" "$partial" "$archive" \
    >"$log" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then
    if [ "$rc" -eq 124 ]; then
        echo "arm64-root: debootstrap ran past $TIMEOUT s; on a slow link set NORV_DEBOOTSTRAP_TIMEOUT" >&2
    else
        echo "arm64-root: debootstrap failed (exit $rc); the end of $log:" >&2
        tail -n 5 "$log" | sed 's/^/  /' >&2
    fi
    rm -rf --one-file-system "$partial"
    exit 1
fi
rm -f "$partial"/var/cache/apt/archives/*.deb
mkdir -p "$partial/tmp/.X11-unix"
mv "$partial" "$ROOT_DIR" && echo "$WANTED" >"$STAMP" || exit 1
echo "arm64-root: made in $((SECONDS - start)) s, $(du -sh "$ROOT_DIR" | cut -f1)" >&2
echo "$ROOT_DIR"
