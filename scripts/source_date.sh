# shellcheck shell=bash
# source_date_epoch ROOT: the time every release file carries, in seconds:
# SOURCE_DATE_EPOCH when set, else the time of ROOT's last commit (as
# cmake/reproducible.cmake takes it for the binaries), else 0.
source_date_epoch() {
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || { echo "SOURCE_DATE_EPOCH '$SOURCE_DATE_EPOCH' is not a number of seconds" >&2; return 1; }
        echo "$SOURCE_DATE_EPOCH"
    else
        git -C "$1" log -1 --format=%ct 2>/dev/null || echo 0
    fi
}
