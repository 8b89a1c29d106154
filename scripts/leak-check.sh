#!/usr/bin/env bash
# Loads and unloads the monitor a thousand times (attach, initialise,
# enumerate, print, detach) natively under valgrind's memcheck. Fails on any
# memory error or on memory definitely or indirectly lost at exit; the test
# itself fails when heap blocks, keys or handles grow from one cycle to the next.
#
#   scripts/leak-check.sh [extra gtest filter]    (default: LoadCycleTest.*)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
bash scripts/install-deps.sh native valgrind || exit 1
JOBS=${JOBS:-2}
filter=${1:-LoadCycleTest.*}

command -v valgrind >/dev/null || { echo "leak-check: valgrind missing (scripts/install-deps.sh valgrind)" >&2; exit 2; }
cmake --preset native >/dev/null || exit 1
cmake --build --preset native -j"$JOBS" --target native_tests || exit 1

log=build/native/leak-check.log
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
    build/native/tests/native/native_tests --gtest_filter="$filter" >"$log" 2>&1
rc=$?
grep -E '^\[  (PASSED|FAILED)|in use at exit|total heap usage|definitely lost|indirectly lost|ERROR SUMMARY' "$log" |
    sed 's/^==[0-9]*== //'
if ((rc != 0)); then
    echo "leak-check: FAILED (exit $rc); log: $log"
    exit 1
fi
echo "leak-check: clean; log: $log"
