# shellcheck shell=bash
# source_date_epoch ROOT: the time every release file carries, in seconds:
# SOURCE_DATE_EPOCH when set, else the time of ROOT's last commit (as
# cmake/reproducible.cmake takes it for the binaries). Without either (a
# source tarball, perhaps unpacked inside another repository, whose commits
# are not ROOT's) it fails rather than stamp 1970 or another project's time.
source_date_epoch() {
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || { echo "SOURCE_DATE_EPOCH '$SOURCE_DATE_EPOCH' is not a number of seconds" >&2; return 1; }
        echo "$SOURCE_DATE_EPOCH"
    elif [ "$(git -C "$1" rev-parse --show-toplevel 2>/dev/null)" != "$(cd "$1" && pwd -P)" ] ||
        ! git -C "$1" log -1 --format=%ct 2>/dev/null; then
        echo "$1 has no git history to take the release's time from: set SOURCE_DATE_EPOCH (seconds since 1970, e.g. the release commit's time)" >&2
        return 1
    fi
}
