# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# Runs the spooler suite (tests/wine) in a prefix made by prefix.sh. Source
# it, then:
#
#   wine_suite ARCH   runs $BUILD_ROOT/windows-ARCH/norv_spooler_tests.exe
#                     with the Wine for ARCH in this WINEPREFIX, uninstalled
#                     first; its output goes to $WORK/suite-ARCH.log and its
#                     exit status to $WORK/suite-ARCH.rc (suite_report.sh
#                     reads both). Bounded by SUITE_TIMEOUT (default 600 s).

# shellcheck source=prefix.sh
. "$(dirname "${BASH_SOURCE[0]}")/prefix.sh"

wine_suite() {
    local arch=$1 other
    wine_select_loader "$arch" || return 1
    wine_server_start
    echo "wine: running the $arch suite"
    # Leftovers of an interrupted run: the suite starts uninstalled.
    for other in $WINE_ARCHES; do
        (cd "$BUILD_ROOT/windows-$other" 2>/dev/null && wine ./norvinst.exe uninstall >/dev/null 2>&1)
    done
    (cd "$BUILD_ROOT/windows-$arch" &&
        timeout "${SUITE_TIMEOUT:-600}" wine ./norv_spooler_tests.exe --gtest_color=no) \
        >"$WORK/suite-$arch.log" 2>&1
    echo $? >"$WORK/suite-$arch.rc"
    grep -v -e "^wine: Read access denied for device" -e "^[0-9a-f]*:fixme:" "$WORK/suite-$arch.log"
    wine_server_stop
}

