# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# The start of a step script that runs in a Debian root. Source it, then:
#
#   root_step READY "$@"   takes --probe and --no-build (ROOT_BUILD=0), asks
#                          READY (a function answering as root_can_make in
#                          root_probe.sh does), and exits with --probe or when
#                          not ready (77: the reason on stdout)
#
# The step itself runs as the calling user: only making and entering the
# root go through root_sudo, so nothing it leaves in the clone is root's.

# shellcheck disable=SC2034  # ROOT_BUILD is read by the step script
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
    if [ "$probe" -eq 1 ] || [ "$rc" -ne 0 ]; then exit "$rc"; fi
}
