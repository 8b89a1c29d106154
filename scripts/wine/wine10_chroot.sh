# Runs inside the wine10 root: the x64 spooler suite in a fresh prefix, with
# the build in $1/windows-x64 and this tree's prefix.sh in $1/scripts.
# Log: $1/suite-x64.log and .rc.
run="$1"
export BUILD_ROOT="$run" NORV_BUILD_ROOT="$run" WORK="$run" NORV_WINE_ARCHES=x64
export SUITE_TIMEOUT="${NORV_WINE_SUITE_TIMEOUT:-600}"
. "$run/scripts/wine/prefix.sh"
wine_prefix_init "$run/prefix" || exit 1
echo "wine10: $(wine --version)"
wine_suite x64
