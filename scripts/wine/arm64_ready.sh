# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# Whether this machine can run ARM64 Linux programs (and so ARM64 Wine), and
# making it able to where it only lacks packages or a mount. Source it, then:
#
#   arm64_ready    0 when ready: a root can be made (root_probe.sh), qemu-user-static
#                  installed, binfmt_misc mounted, qemu-aarch64 registered
#                  and an ARM64 program runs. 77 when this machine cannot:
#                  ROOT_LEFT_OUT says why. 1 when something went wrong.
#
# Settings: NORV_ARM64_WINE=0 leaves the ARM64 Wine step out on purpose.

# shellcheck source=root_probe.sh
. "$(dirname "${BASH_SOURCE[0]}")/root_probe.sh"

# A static ARM64 program that exits with 42 (mov x0, 42; mov x8, exit; svc 0).
ARM64_ELF=7f454c460201010000000000000000000200b70001000000780040000000000040000000000000000000000000000000000000004000380001000000000000000100000005000000000000000000000000004000000000000000400000000000840000000000000084000000000000000010000000000000400580d2a80b80d2010000d4
ARM64_BINFMT=/proc/sys/fs/binfmt_misc

# shellcheck disable=SC2034  # ROOT_LEFT_OUT is read by root_step.sh
arm64_left_out() {
    ROOT_LEFT_OUT="$*"
    return 77
}

arm64_ready() {
    local err sudo=()
    [ "${NORV_ARM64_WINE:-1}" = 0 ] && { arm64_left_out "NORV_ARM64_WINE=0 leaves it out"; return; }
    root_can_make
    case $? in 0) ;; 77) return 77 ;; *) return 1 ;; esac
    # Mounting binfmt_misc needs root too.
    [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    if ! machine_installed qemu-user-static; then
        if ! machine_install qemu-user-static; then
            apt-cache policy qemu-user-static 2>/dev/null | grep -q 'Candidate: [0-9]' ||
                { arm64_left_out "qemu-user-static is not installable from this machine's apt sources"; return; }
            return 1
        fi
    fi
    if [ ! -e "$ARM64_BINFMT/register" ]; then
        err="$("${sudo[@]}" mount -t binfmt_misc binfmt_misc "$ARM64_BINFMT" 2>&1)" ||
            { arm64_left_out "binfmt_misc cannot be mounted on $ARM64_BINFMT: ${err:-mount failed}"; return; }
    fi
    if [ ! -e "$ARM64_BINFMT/qemu-aarch64" ]; then
        # The F flag opens the emulator now, so that it runs inside a chroot.
        grep -v '^#' /usr/lib/binfmt.d/qemu-aarch64.conf |
            "${sudo[@]}" tee "$ARM64_BINFMT/register" >/dev/null ||
            { echo "arm64: cannot register qemu-aarch64 with binfmt_misc" >&2; return 1; }
    fi
    if ! head -n1 "$ARM64_BINFMT/qemu-aarch64" | grep -qx enabled; then
        echo 1 | "${sudo[@]}" tee "$ARM64_BINFMT/qemu-aarch64" >/dev/null
    fi
    local dir="${NORV_BUILD_ROOT:-$MACHINE_ROOT/build}"
    mkdir -p "$dir"
    machine_run_elf "$ARM64_ELF" "$dir" ".norv-probe-arm64.$$" && return 0
    echo "arm64: qemu-aarch64 is registered, yet an ARM64 program does not run: $MACHINE_ELF_ERROR" >&2
    return 1
}
