# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# Whether a Debian root can be made and entered here, and the one way in to
# root for it. Source it, then:
#
#   root_can_make     0 when a root can be made here: root, or password-less
#                     sudo, and debootstrap (installed if missing). 77 when
#                     not: ROOT_LEFT_OUT says why. 1 on errors.
#   root_sudo CMD...  CMD as root: directly when this user is root, else
#                     through password-less sudo, with the NORV_* settings
#                     kept. Only making and entering a root use it.
#   root_sudo_words   sets ROOT_SUDO to the words root_sudo puts before CMD

# shellcheck source=../machine.sh
. "$(dirname "${BASH_SOURCE[0]}")/../machine.sh"

# shellcheck disable=SC2034  # ROOT_LEFT_OUT is read by the step that asked
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

# Sets ROOT_SUDO: the words that run a command as root.
root_sudo_words() {
    ROOT_SUDO=()
    [ "$(id -u)" -eq 0 ] && return
    local name
    ROOT_SUDO=(sudo -n env)
    for name in $(compgen -e); do
        [[ $name == NORV_* ]] && ROOT_SUDO+=("$name=${!name}")
    done
}

root_sudo() {
    root_sudo_words
    "${ROOT_SUDO[@]}" "$@"
}
