# Runs inside the wine10 root: the spooler suites of the architectures in
# $1/arches, each in a fresh prefix, with the builds in $1/windows-ARCH and
# this tree's prefix.sh in $1/scripts. Logs: $1/suite-ARCH.log and .rc.
run="$1"
export BUILD_ROOT="$run" NORV_BUILD_ROOT="$run" WORK="$run" SUITE_TIMEOUT="${NORV_WINE_SUITE_TIMEOUT:-600}"
NORV_WINE_ARCHES="$(cat "$run/arches")"
export NORV_WINE_ARCHES
. "$run/scripts/wine/prefix.sh"
for arch in $NORV_WINE_ARCHES; do
    if [ "$arch" = x86 ]; then wine_prefix_init32 "$run/prefix32"; else wine_prefix_init "$run/prefix"; fi || exit 1
    echo "wine10: $(wine --version)"
    wine_suite "$arch"
done
