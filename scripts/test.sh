#!/usr/bin/env bash
# Builds and runs every test of the project on a Debian machine, installing
# what it lacks first: the native suite (plain, AddressSanitizer+UBSan,
# ThreadSanitizer), the Windows DLLs for x86, x64 and ARM64 with their
# machine, hardening, export-table and import checks, a thousand load cycles
# under valgrind, the short fuzz runs, the Wine-hosted suites for x86, x64 and
# (emulated) ARM64, the x64 suite again under Debian 13's Wine 10, the release
# rebuilt in a second clone and compared byte for byte, and the packages.
# Where this machine runs no 32-bit programs (or with NORV_WINE_ARCHES=x64)
# the x86 Wine steps are skipped, each with its reason, and everything else
# runs; so are the steps in a Debian root where no root can be made.
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

# Asked before anything is installed: it decides whether i386 packages are.
MACHINE_WHO=test
# shellcheck source=wine/loader.sh
. scripts/wine/loader.sh
machine_wine_arches || exit 1
bash scripts/install-deps.sh native windows arm64 fuzz valgrind bundle msi wine || exit 1
# Asked again once installed: x86 Wine is this machine's wine32, or the i386
# root's where wine32:i386 could not be installed, or not to be had.
wine_runs || exit 1
[ "$WINE_X86" = root ] && echo "test: the x86 Wine steps run in the i386 root (wine32:i386 is not installed here)"

passed=0
failed=0
skipped=0
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
        for file in norvmon.dll norvmon2.dll norvmonui.dll norvinst.exe; do
            bash scripts/check-dll.sh "build/windows-$arch/$file" || return 1
        done
}

# The ARM64 build, and check-dll.sh's own checks on ARM64 files made with it.
windows_arm64() {
    windows arm64 && bash scripts/check-dll-selftest.sh
}

# wine_step NAME ARCH COMMAND...: the x86 steps are the only ones ever skipped,
# and only where x86 cannot run under any Wine here.
wine_step() {
    local name=$1 arch=$2
    shift 2
    if [[ " $WINE_RUNS " != *" $arch "* ]]; then
        echo
        echo "=== $name: SKIPPED: $MACHINE_X86_LEFT_OUT"
        skipped=$((skipped + 1))
        return
    fi
    step "$name" "$@"
}

# probed_step NAME SCRIPT: a step whose script, asked with --probe, may
# answer 77 with the reason on its last line: this machine cannot run it.
probed_step() {
    local name=$1 script=$2 left_out
    left_out="$(bash "$script" --probe)"
    if [ $? -eq 77 ]; then
        echo
        echo "=== $name: SKIPPED: ${left_out##*$'\n'}"
        skipped=$((skipped + 1))
        return
    fi
    step "$name" bash "$script" --no-build
}

step "scripts self-test" bash scripts/selftest.sh
step "native" native native
step "native-asan" native native-asan
step "native-tsan" native native-tsan
step "windows-x86 build" windows x86
step "windows-x64 build" windows x64
step "windows-arm64 build" windows_arm64
step "leak check (valgrind)" bash scripts/leak-check.sh
step "fuzz (short runs)" bash scripts/fuzz.sh
for arch in x86 x64; do
    wine_step "wine conformance $arch" "$arch" bash scripts/conformance.sh "$arch"
done
for arch in x86 x64; do
    wine_step "wine suite $arch" "$arch" bash scripts/wine/test.sh --no-build "$arch"
done
# Skipped only where this machine cannot emulate ARM64 (or NORV_ARM64_WINE=0).
probed_step "wine suite arm64" scripts/wine/arm64_test.sh
# A second host, Debian 13's Wine 10: skipped only where its root cannot be
# made (or NORV_WINE10=0).
probed_step "wine suite x64 (wine 10)" scripts/wine/wine10_test.sh
step "release bundle" bash scripts/release.sh --no-build
# The release once more from a fresh clone, elsewhere, later, in another zone,
# locale and umask: every file the same (only the second build is made here).
repro_start=$(date +%s)
step "reproducible release" bash scripts/repro.sh --reference build/release
echo "=== reproducible release: $(($(date +%s) - repro_start)) s"
step "release bundle in a fresh prefix" bash scripts/wine/bundle_test.sh
# Signs the bundle's binaries and the packages with a throwaway CA.
step "msi packages" bash scripts/msi_build_test.sh
for arch in x86 x64; do
    wine_step "wine msi $arch" "$arch" bash scripts/wine/msi_test.sh "$arch"
done

echo
if ((failed)); then
    echo "failed steps: ${failures[*]}"
fi
echo "steps: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
