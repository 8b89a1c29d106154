#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs inside the wine10 root: the x64 spooler suite in a fresh prefix, with
# the build in $1/windows-x64 and this tree's Wine scripts in $1/scripts.
# Log: $1/suite-x64.log; the exit status is the suite's.
run="$1"
export BUILD_ROOT="$run" NORV_BUILD_ROOT="$run" WORK="$run" NORV_WINE_ARCHES=x64
export SUITE_TIMEOUT="${NORV_WINE_SUITE_TIMEOUT:-600}"
# shellcheck source=suite_run.sh
. "$run/scripts/wine/suite_run.sh"
wine_prefix_init "$run/prefix" x64 || exit 1
echo "wine10: $(wine --version)"
wine_suite x64
exit "$(cat "$run/suite-x64.rc" 2>/dev/null || echo 1)"
