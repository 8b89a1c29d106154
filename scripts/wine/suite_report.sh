# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# The Wine suites' counts from the logs suite_run.sh writes. Source it, then:
#
#   wine_suite_report ARCH...   prints each suite's passed, failed and
#                     skipped tests from $WORK/suite-ARCH.log and .rc, and
#                     returns non-zero if one failed, crashed, ran past its
#                     time or left no exit status

wine_suite_report() {
    local arch log rc ran passed skipped failed total_passed=0 total_failed=0 status=0
    echo
    echo "Wine suites:"
    for arch in "$@"; do
        log="$WORK/suite-$arch.log"
        rc="$(cat "$WORK/suite-$arch.rc" 2>/dev/null || echo 1)"
        ran="$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log" 2>/dev/null | tail -1)"
        passed="$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" 2>/dev/null | tail -1)"
        skipped="$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$log" 2>/dev/null | tail -1)"
        ran="${ran:-0}"; passed="${passed:-0}"; skipped="${skipped:-0}"
        failed=$((ran - passed - skipped))
        if [ "$rc" = 124 ]; then
            echo "  $arch: the suite ran past ${SUITE_TIMEOUT:-600} s and was stopped; on a slow machine set" \
                "NORV_WINE_SUITE_TIMEOUT to more seconds (see $log)"
        fi
        if [ "$rc" != 0 ] && [ "$failed" -eq 0 ]; then
            failed=1   # crashed or timed out before GoogleTest's summary
            echo "  $arch: the suite exited with status $rc (see $log)"
        fi
        [ "$rc" != 0 ] && status=1
        echo "  $arch: $passed passed, $failed failed, $skipped skipped"
        total_passed=$((total_passed + passed))
        total_failed=$((total_failed + failed))
    done
    [ "$total_failed" -ne 0 ] && status=1
    echo "wine: $total_passed passed, $total_failed failed"
    return "$status"
}

