# Debian roots that another Wine runs in (Debian 12's arm64 Wine under qemu,
# Debian 13's Wine 10 on amd64), made once with debootstrap and cached
# outside the clone so that fresh clones reuse them:
#   ${NORV_CACHE:-/var/cache/norv}/NAME-root
# Source it, then:
#
#   root_can_make        0 when a root can be made here: root, or password-
#                        less sudo, and debootstrap (installed if missing).
#                        77 when not: ROOT_LEFT_OUT says why. 1 on errors.
#   root_make NAME       makes the root NAME (arm64, wine10), or finds it
#                        made, and prints its folder on its last line
#   root_step READY "$@"  the start of a step script that runs in a root:
#                        takes --probe and --no-build (ROOT_BUILD=0), asks
#                        READY (a function answering as root_can_make
#                        does), exits with --probe or when not ready (77:
#                        the reason on stdout), and runs the script again
#                        through sudo when this user is not root
#   root_run DIR RUN SCRIPT   runs `bash SCRIPT RUN` (paths inside the root)
#                        as root in the root DIR under a fresh Xvfb, with
#                        /dev, /proc and the X socket mounted
#
# A root counts as made only once its stamp is written, last: an interrupted
# debootstrap is removed and started again; one maker at a time.
# Settings: NORV_CACHE (the cache folder), NORV_DEBOOTSTRAP_TIMEOUT (seconds,
# default 900), NORV_DEBIAN_MIRROR (default: this machine's own Debian
# archive), NORV_WINEBOOT_TIMEOUT and NORV_WINE_SUITE_TIMEOUT (passed on).

# shellcheck source=../machine.sh
. "$(dirname "${BASH_SOURCE[0]}")/../machine.sh"

ROOT_CACHE="${NORV_CACHE:-/var/cache/norv}"

root_can_make() {
    ROOT_LEFT_OUT=""
    # debootstrap, the mounts and chroot need root.
    if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
        ROOT_LEFT_OUT="it needs root (debootstrap, chroot) and $(id -un) is not root and has no password-less sudo"
        return 77
    fi
    machine_installed debootstrap && return 0
    machine_install debootstrap && return 0
    apt-cache policy debootstrap 2>/dev/null | grep -q 'Candidate: [0-9]' && return 1
    ROOT_LEFT_OUT="debootstrap is not installable from this machine's apt sources"
    return 77
}

root_step() {
    local ready=$1 probe=0 arg rc
    shift
    ROOT_BUILD=1
    for arg in "$@"; do
        case "$arg" in
            --probe) probe=1 ;; --no-build) ROOT_BUILD=0 ;;
            *) echo "$(basename "$0"): unknown option $arg" >&2; exit 2 ;;
        esac
    done
    "$ready"
    rc=$?
    if [ "$rc" -eq 77 ]; then echo "$ROOT_LEFT_OUT"; exit 77; fi
    [ "$probe" -eq 1 ] || [ "$rc" -ne 0 ] && exit "$rc"
    [ "$(id -u)" -eq 0 ] || exec sudo -n -E bash "$0" "$@"
}

# What each root holds. The stamp holds this line: a root made for another
# one is made again.
root_spec() {
    case "$1" in
        arm64) ROOT_ARCH=arm64 ROOT_SUITE=bookworm ROOT_PACKAGES=wine,wine64,libwine,ca-certificates ;;
        wine10) ROOT_ARCH=amd64 ROOT_SUITE=trixie ROOT_PACKAGES=wine,wine64,libwine,ca-certificates ;;
        *) echo "root: no root named $1" >&2; return 2 ;;
    esac
    ROOT_WANTED="$ROOT_SUITE minbase $ROOT_PACKAGES"
}

# A Debian archive from this machine's apt sources: the first that carries
# the suite, else the one this machine's own release comes from.
root_mirror() {
    [ -n "${NORV_DEBIAN_MIRROR:-}" ] && { echo "$NORV_DEBIAN_MIRROR"; return; }
    local file suite own
    own="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
    for suite in "$1" $own; do
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$file" ] || continue
            awk -v s="$suite" '$1 == "deb" { for (i = 2; i < NF; i++) if ($i !~ /^\[/ && $(i + 1) == s) { print $i; exit } }' \
                "$file" | grep . && return
        done
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            awk -v s="$suite" 'BEGIN { RS = ""; FS = "\n" }
                { uri = ""; hit = 0
                  for (i = 1; i <= NF; i++) {
                      if ($i ~ /^URIs:/) { split($i, u, " "); uri = u[2] }
                      if ($i ~ /^Suites:/) { n = split($i, w, " "); for (j = 2; j <= n; j++) if (w[j] == s) hit = 1 }
                  }
                  if (hit && uri != "") { print uri; exit } }' "$file" | grep . && return
        done
    done
    echo http://deb.debian.org/debian
}

root_make() (
    local name="$1"
    root_spec "$name" || exit 2
    local dir="$ROOT_CACHE/$name-root" timeout="${NORV_DEBOOTSTRAP_TIMEOUT:-900}"
    local stamp="$dir/.norv-$name-root"
    made() { [ "$(cat "$stamp" 2>/dev/null)" = "$ROOT_WANTED" ]; }
    if made; then
        echo "$dir"
        exit 0
    fi
    mkdir -p "$ROOT_CACHE" || exit 1
    # A second run waits here and then finds the root made.
    exec 9>"$ROOT_CACHE/$name-root.lock"
    flock 9
    if made; then
        echo "$dir"
        exit 0
    fi
    local partial="$ROOT_CACHE/$name-root.partial" log="$ROOT_CACHE/$name-root.log" archive rc start=$SECONDS
    # --one-file-system: never into anything an interrupted run left mounted.
    rm -rf --one-file-system "$dir" "$partial" || exit 1
    archive="$(root_mirror "$ROOT_SUITE")"
    echo "$name-root: making $dir from $archive ($ROOT_SUITE $ROOT_ARCH, $ROOT_PACKAGES; a few minutes, log: $log)" >&2
    # debootstrap mounts /proc and /sys inside the root; a private mount
    # namespace takes those mounts away with it, even when it is stopped.
    timeout "$timeout" unshare --mount --propagation private \
        debootstrap --arch="$ROOT_ARCH" --variant=minbase --include="$ROOT_PACKAGES" "$ROOT_SUITE" "$partial" "$archive" \
        >"$log" 2>&1
    rc=$?
    if [ "$rc" -ne 0 ]; then
        if [ "$rc" -eq 124 ]; then
            echo "$name-root: debootstrap ran past $timeout s; on a slow link set NORV_DEBOOTSTRAP_TIMEOUT" >&2
        else
            echo "$name-root: debootstrap failed (exit $rc); the end of $log:" >&2
            tail -n 5 "$log" | sed 's/^/  /' >&2
        fi
        rm -rf --one-file-system "$partial"
        exit 1
    fi
    rm -f "$partial"/var/cache/apt/archives/*.deb
    mkdir -p "$partial/tmp/.X11-unix"
    mv "$partial" "$dir" && echo "$ROOT_WANTED" >"$stamp" || exit 1
    echo "$name-root: made in $((SECONDS - start)) s, $(du -sh "$dir" | cut -f1)" >&2
    echo "$dir"
)

root_run() {
    local limit=$(( ${NORV_WINEBOOT_TIMEOUT:-300} * 2 + ${NORV_WINE_SUITE_TIMEOUT:-600} + 120 ))
    # The root's mounts live in a private mount namespace: they go with it,
    # however the run ends. The root sees Xvfb's socket and its cookie.
    # Wine names Unix files in the locale's charset: without a UTF-8 locale
    # a folder named with non-ASCII letters is not found by another case.
    ROOT_DIR="$1" ROOT_RUN="$2" ROOT_SCRIPT="$3" timeout "$limit" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        cp "$XAUTHORITY" "$ROOT_DIR$ROOT_RUN/Xauthority"
        unshare --mount --propagation private bash -c "
            mount --rbind /dev \"\$ROOT_DIR/dev\" && mount -t proc proc \"\$ROOT_DIR/proc\" &&
            mount --bind /tmp/.X11-unix \"\$ROOT_DIR/tmp/.X11-unix\" &&
            chroot \"\$ROOT_DIR\" env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY=\"\$DISPLAY\" XAUTHORITY=\"\$ROOT_RUN/Xauthority\" \
                NORV_WINEBOOT_TIMEOUT=\"\${NORV_WINEBOOT_TIMEOUT:-300}\" NORV_WINE_SUITE_TIMEOUT=\"\${NORV_WINE_SUITE_TIMEOUT:-600}\" \
                bash \"\$ROOT_SCRIPT\" \"\$ROOT_RUN\""
    '
    local rc=$?
    [ "$rc" -eq 124 ] && echo "root: the run went past $limit s (NORV_WINE_SUITE_TIMEOUT, NORV_WINEBOOT_TIMEOUT)"
    return "$rc"
}
