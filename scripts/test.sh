#!/usr/bin/env bash
# Builds and runs every test of the project on a Debian machine, installing
# what it lacks first: the native suite (plain, AddressSanitizer+UBSan,
# ThreadSanitizer), both Windows DLLs with their export/import checks, a
# thousand load cycles under valgrind, the short fuzz runs, and the Wine-hosted
# suites for x86 and x64.
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

bash scripts/install-deps.sh native windows fuzz valgrind wine || exit 1

passed=0
failed=0
failures=()
step() {
    local name=$1
    shift
    echo
    echo "=== $name"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$name")
        echo "=== $name: FAILED"
    fi
}

native() {
    local preset=$1
    cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" -j"$JOBS" &&
        ctest --preset "$preset" -j"$JOBS"
}

windows() {
    local arch=$1
    cmake --preset "windows-$arch" >/dev/null &&
        cmake --build --preset "windows-$arch" -j"$JOBS" &&
        bash scripts/check-dll.sh "build/windows-$arch/norvmon.dll"
}

step "native" native native
step "native-asan" native native-asan
step "native-tsan" native native-tsan
step "windows-x86 build" windows x86
step "windows-x64 build" windows x64
step "leak check (valgrind)" bash scripts/leak-check.sh
step "fuzz (short runs)" bash scripts/fuzz.sh
step "wine conformance" bash scripts/conformance.sh
[[ -f scripts/wine/test.sh ]] && step "wine suites" bash scripts/wine/test.sh --no-build

echo
if ((failed)); then
    echo "failed steps: ${failures[*]}"
fi
echo "steps: $passed passed, $failed failed"
((failed == 0))
