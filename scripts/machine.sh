# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# What this machine offers the scripts, asked in one place. Source it, then:
#
#   machine_wine_arches      sets MACHINE_WINE_ARCHES ("x86 x64" or "x64") and
#                            MACHINE_X86_LEFT_OUT (why x86 cannot run under
#                            Wine here; empty when it can). Returns 2 on a bad
#                            NORV_WINE_ARCHES or when nothing can be run at all.
#   machine_runs_32bit       0 when this machine runs i386 programs; the
#                            reason it does not is in MACHINE_PROBE_DETAIL
#   machine_install PKG...   installs those of PKG that are missing (apt-get,
#                            as root or through sudo), with a bounded wait
#                            for a busy apt lock
#   machine_apt ARGS...      apt-get ARGS as root, same waiting and messages
#   machine_apt_update       apt-get update, tried again after a pause while
#                            a mirror fails (one in mid-sync serves indexes
#                            whose size does not match, which apt's own
#                            Acquire::Retries does not retry); on a last
#                            failure it says so once, with apt's first error
#                            in MACHINE_APT_ERROR, and returns 1: what the
#                            package lists already offer can still be installed
#
# Settings:
#   NORV_WINE_ARCHES=x64        Wine runs 64-bit only, on any machine
#   NORV_WINE_ARCHES="x86 x64"  both, without asking the machine
#   NORV_APT_LOCK_WAIT=SECONDS  how long to wait for another apt (default 300)
#   NORV_APT_UPDATE_TRIES=N     tries of apt-get update (default 3), with
#   NORV_APT_UPDATE_PAUSE=SECONDS  between them (default 30)
#   NORV_PROBE_SIMULATE=no-ia32|noexec   for the scripts' self-test only: the
#                            probe's i386 program (or both programs) is made
#                            unrunnable, as on a kernel without IA-32 emulation

MACHINE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MACHINE_WHO="${MACHINE_WHO:-$(basename "$0" .sh)}"

# Static programs that exit with 42: one i386 (int 0x80), one x86-64 (syscall).
# The x86-64 one tells a directory that forbids running programs from a
# kernel that refuses only 32-bit ones.
MACHINE_ELF_I386=7f454c460101010000000000000000000200030001000000548004083400000000000000000000003400200001000000000000000100000000000000008004080080040860000000600000000500000000100000b801000000bb2a000000cd80
MACHINE_ELF_X86_64=7f454c4602010100000000000000000002003e0001000000780040000000000040000000000000000000000000000000000000004000380001000000000000000100000005000000000000000000000000004000000000000000400000000000840000000000000084000000000000000010000000000000bf2a000000b83c0000000f05

# machine_run_elf HEX DIR NAME: 0 when the program ran and exited with 42;
# otherwise the shell's complaint is in MACHINE_ELF_ERROR.
machine_run_elf() {
    local file="$2/$3" rc
    # shellcheck disable=SC2001  # each byte pair gets a \x before it: sed's & does that
    if ! printf '%b' "$(sed 's/../\\x&/g' <<<"$1")" >"$file" 2>/dev/null || ! chmod +x "$file"; then
        MACHINE_ELF_ERROR="cannot write $file"
        return 1
    fi
    MACHINE_ELF_ERROR="$( ("$file") 2>&1)"
    rc=$?
    rm -f "$file"
    [ "$rc" -eq 42 ] && return 0
    MACHINE_ELF_ERROR="${MACHINE_ELF_ERROR##*: }"
    MACHINE_ELF_ERROR="${MACHINE_ELF_ERROR:-exit code $rc instead of 42}"
    return 1
}

machine_runs_32bit() {
    local i386="$MACHINE_ELF_I386" x86_64="$MACHINE_ELF_X86_64" dir
    case "${NORV_PROBE_SIMULATE:-}" in
        no-ia32) i386="${i386:0:36}ff${i386:38}" ;;   # e_machine no kernel knows
        noexec) i386="${i386:0:36}ff${i386:38}"; x86_64="${x86_64:0:36}ff${x86_64:38}" ;;
    esac
    for dir in "${NORV_BUILD_ROOT:-$MACHINE_ROOT/build}" "${TMPDIR:-/tmp}" "${HOME:-/nonexistent}"; do
        if ! mkdir -p "$dir" 2>/dev/null || [ ! -w "$dir" ]; then continue; fi
        machine_run_elf "$x86_64" "$dir" ".norv-probe-64.$$" || continue
        if machine_run_elf "$i386" "$dir" ".norv-probe-32.$$"; then
            MACHINE_PROBE_DETAIL=""
            return 0
        fi
        MACHINE_PROBE_DETAIL="this machine does not run 32-bit programs (an i386 program: $MACHINE_ELF_ERROR)"
        return 1
    done
    MACHINE_PROBE_DETAIL="no directory here lets programs run (tried ${NORV_BUILD_ROOT:-$MACHINE_ROOT/build}, ${TMPDIR:-/tmp}, ${HOME:-no home}: $MACHINE_ELF_ERROR); is the checkout on a noexec mount?"
    return 2
}

machine_wine_arches() {
    case "${NORV_WINE_ARCHES:-auto}" in
        auto)
            machine_runs_32bit
            case $? in
                0) MACHINE_WINE_ARCHES="x86 x64"; MACHINE_X86_LEFT_OUT="" ;;
                1) MACHINE_WINE_ARCHES="x64"; MACHINE_X86_LEFT_OUT="$MACHINE_PROBE_DETAIL" ;;
                *) echo "$MACHINE_WHO: $MACHINE_PROBE_DETAIL" >&2; return 2 ;;
            esac ;;
        x64)
            MACHINE_WINE_ARCHES="x64"
            MACHINE_X86_LEFT_OUT="NORV_WINE_ARCHES=x64 asks for 64-bit Wine only" ;;
        "x86 x64" | "x64 x86" | x86,x64 | x64,x86)
            MACHINE_WINE_ARCHES="x86 x64"; MACHINE_X86_LEFT_OUT="" ;;
        *)
            echo "$MACHINE_WHO: NORV_WINE_ARCHES is '$NORV_WINE_ARCHES'; use x64 (64-bit Wine only)," \
                "\"x86 x64\" (both), or leave it unset to ask the machine" >&2
            return 2 ;;
    esac
    export MACHINE_WINE_ARCHES MACHINE_X86_LEFT_OUT
}

machine_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Root, or sudo that will not hang on a password nobody can type.
machine_sudo() {
    MACHINE_SUDO=()
    [ "$(id -u)" -eq 0 ] && return 0
    if ! command -v sudo >/dev/null; then
        echo "$MACHINE_WHO: installing packages needs root, and this user ($(id -un)) is not root and" \
            "sudo is not installed. Run it as root, or have an administrator run: apt-get install $*" >&2
        return 1
    fi
    if ! sudo -n true 2>/dev/null; then
        if [ -t 0 ]; then
            echo "$MACHINE_WHO: sudo is needed to install $*"
            sudo -v || { echo "$MACHINE_WHO: sudo refused; run it as root instead" >&2; return 1; }
        else
            echo "$MACHINE_WHO: installing packages needs root; sudo asks for a password and there" \
                "is no terminal to type it in. Run it as root, or install first: apt-get install $*" >&2
            return 1
        fi
    fi
    MACHINE_SUDO=(sudo)
}

machine_apt() {
    local wait="${NORV_APT_LOCK_WAIT:-300}" start=$SECONDS err rc said=0
    MACHINE_APT_ERROR=""
    [ -n "${MACHINE_SUDO+x}" ] || machine_sudo "${@:2}" || return 1
    err="$(mktemp)"
    while :; do
        "${MACHINE_SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get -o DPkg::Lock::Timeout=5 -o Acquire::Retries=3 -y -q "$@" 2>"$err"
        rc=$?
        if [ "$rc" -eq 0 ]; then
            rm -f "$err"
            return 0
        fi
        if ! grep -qE "Could not get lock|Unable to acquire the dpkg frontend lock|Unable to lock" "$err"; then
            MACHINE_APT_ERROR="$(grep -m1 "^E:" "$err" | sed 's/^E: *//; s/ *\[IP: [^]]*\]//; s/  */ /g; s/\.$//')"
            grep -E "^(E|W):" "$err" >&2
            echo "$MACHINE_WHO: apt-get $1 failed (exit $rc)" >&2
            rm -f "$err"
            return 1
        fi
        if [ $((SECONDS - start)) -ge "$wait" ]; then
            MACHINE_APT_ERROR="apt is busy with another install"
            echo "$MACHINE_WHO: apt is busy: another package manager has held its lock for ${wait} s" \
                "($(grep -oE "held by process [0-9]+[^.]*" "$err" | head -n1 || true))." \
                "Let it finish and run this again (NORV_APT_LOCK_WAIT=SECONDS waits longer)." >&2
            rm -f "$err"
            return 1
        fi
        if [ "$said" -eq 0 ]; then
            echo "$MACHINE_WHO: apt is busy with another install; waiting up to ${wait} s for it"
            said=1
        fi
        sleep 5
    done
}

machine_apt_update() {
    local tries="${NORV_APT_UPDATE_TRIES:-3}" pause="${NORV_APT_UPDATE_PAUSE:-30}" try=1
    until machine_apt update >/dev/null 2>&1; do
        if [ "$try" -ge "$tries" ]; then
            echo "$MACHINE_WHO: apt-get update failed $tries times ($MACHINE_APT_ERROR); going on with the package lists this machine has"
            return 1
        fi
        echo "$MACHINE_WHO: apt-get update failed ($MACHINE_APT_ERROR); trying again in $pause s"
        sleep "$pause"
        try=$((try + 1))
    done
}

machine_install() {
    local missing=() pkg
    for pkg in "$@"; do
        machine_installed "$pkg" || missing+=("$pkg")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "$MACHINE_WHO: installing ${missing[*]}"
    machine_sudo "${missing[@]}" || return 1
    machine_apt_update
    machine_apt install --no-install-recommends "${missing[@]}" >/dev/null || return 1
}
