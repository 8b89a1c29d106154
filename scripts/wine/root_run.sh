# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# Runs a step's script inside a Debian root under a fresh Xvfb. Source it,
# then:
#
#   root_run_dir ROOT       makes a run folder in the root (its /var/tmp),
#                           owned by this user, and prints it
#   root_run ROOT RUN SCRIPT   runs `bash SCRIPT RUN` (both paths as the root
#                           sees them) in ROOT through root_enter.sh, as this
#                           user, with the X socket and its cookie; returns
#                           the script's own exit status (124: past its time)
#
# Settings: NORV_WINEBOOT_TIMEOUT, NORV_WINE_SUITE_TIMEOUT (passed on; the
# whole run is bounded by twice the first plus the second and two minutes).

ROOT_ENTER="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/root_enter.sh"

root_run_dir() {
    mktemp -d "$1/var/tmp/norv-run.XXXXXX"
}

root_run() {
    local limit=$(( ${NORV_WINEBOOT_TIMEOUT:-300} * 2 + ${NORV_WINE_SUITE_TIMEOUT:-600} + 120 )) rc
    export NORV_WINEBOOT_TIMEOUT="${NORV_WINEBOOT_TIMEOUT:-300}" NORV_WINE_SUITE_TIMEOUT="${NORV_WINE_SUITE_TIMEOUT:-600}"
    # shellcheck disable=SC2016  # expanded by xvfb-run's shell
    ROOT_ENTER="$ROOT_ENTER" ROOT_DIR="$1" ROOT_RUN="$2" ROOT_SCRIPT="$3" timeout "$limit" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        cp "$XAUTHORITY" "$ROOT_DIR$ROOT_RUN/Xauthority" || exit 125
        XAUTHORITY="$ROOT_RUN/Xauthority" exec bash "$ROOT_ENTER" "$ROOT_DIR" --bind /tmp/.X11-unix -- \
            bash "$ROOT_SCRIPT" "$ROOT_RUN"
    '
    rc=$?
    [ "$rc" -eq 124 ] && echo "root: the run went past $limit s (NORV_WINE_SUITE_TIMEOUT, NORV_WINEBOOT_TIMEOUT)"
    return "$rc"
}
