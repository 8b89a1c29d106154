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
# Every step is timed; the run ends with each step's time and the slowest
# three. The fuzz runs and the second release build run beside the Wine
# steps (see step_beside); their output is shown whole where they are joined.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
JOBS=${JOBS:-$(nproc)}

# Asked before anything is installed: it decides whether i386 packages are.
# shellcheck disable=SC2034 # read by machine.sh, which wine/loader.sh sources
MACHINE_WHO="test"
# shellcheck source-path=SCRIPTDIR source=wine/loader.sh
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
times=()   # "SECONDS<TAB>NAME" of every step, in the order they are listed
step_done() {  # step_done NAME passed|failed|skipped SECONDS [SLOT]
    local name=$1 result=$2 seconds=$3 slot=${4:-${#times[@]}}
    case $result in
        passed)
            passed=$((passed + 1))
            echo "=== $name: passed in $(minutes "$seconds")"
            ;;
        skipped) skipped=$((skipped + 1)) ;;
        *)
            failed=$((failed + 1))
            failures+=("$name")
            echo "=== $name: FAILED after $(minutes "$seconds")"
            ;;
    esac
    times[slot]="$seconds"$'\t'"$name"
}

step() {  # step NAME COMMAND...: runs it now, in the foreground
    local name=$1 start=$SECONDS
    shift
    echo
    echo "=== $name"
    if "$@"; then
        step_done "$name" passed $((SECONDS - start))
    else
        step_done "$name" failed $((SECONDS - start))
    fi
}

step_skipped() {  # step_skipped NAME REASON
    echo
    echo "=== $1: SKIPPED: $2"
    step_done "$1" skipped 0
}

# step_beside NAME PROGRAM ARGS...: starts a step that shares nothing with
# the steps listed after it (a program or script, not a function of this
# file), to run beside them until steps_join. It is niced, so the steps in
# the foreground keep their pace and it takes the cycles they leave; its own
# session lets an interrupted run stop all of it. Its output waits in its log
# and is shown whole, with its result, where it is joined.
logs=build/test-steps
step_log() {  # step_log NAME: "fuzz (short runs)" logs to build/test-steps/fuzz-short-runs.log
    local slug
    slug=$(tr -cs 'A-Za-z0-9' '-' <<<"$1")
    slug=${slug%-}
    echo "$logs/${slug#-}.log"
}
beside_names=()
beside_pids=()
beside_slots=()
step_beside() {
    local name=$1 log
    shift
    mkdir -p "$logs"
    log=$(step_log "$name")
    rm -f "$log.seconds"
    echo
    echo "=== $name: started beside the next steps (log: $log)"
    # shellcheck disable=SC2016 # expanded by the inner shell
    setsid bash -c '"${@:2}"; rc=$?; echo "$SECONDS" >"$1"; exit "$rc"' \
        step "$log.seconds" nice -n 10 "$@" </dev/null >"$log" 2>&1 &
    beside_names+=("$name")
    beside_pids+=($!)
    beside_slots+=("${#times[@]}")
    times+=("0"$'\t'"$name")  # its place in the list, timed when it is joined
}

steps_join() {  # waits for the steps started beside, and reports each in order
    local i log rc seconds
    for i in "${!beside_pids[@]}"; do
        wait "${beside_pids[i]}"
        rc=$?
        log=$(step_log "${beside_names[i]}")
        seconds=$(cat "$log.seconds" 2>/dev/null) || seconds=0
        echo
        echo "=== ${beside_names[i]} (ran beside the steps above; log: $log)"
        cat "$log"
        if ((rc == 0)); then
            step_done "${beside_names[i]}" passed "$seconds" "${beside_slots[i]}"
        else
            step_done "${beside_names[i]}" failed "$seconds" "${beside_slots[i]}"
        fi
    done
    beside_names=()
    beside_pids=()
    beside_slots=()
}

# A run that is stopped takes the steps beside it along, whole sessions.
steps_stop() {
    local pid
    for pid in "${beside_pids[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null
    done
}
trap steps_stop EXIT

minutes() {  # minutes SECONDS: "75 s" as "1 min 15 s"
    if (($1 >= 60)); then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
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
        step_skipped "$name" "$MACHINE_X86_LEFT_OUT"
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
        step_skipped "$name" "${left_out##*$'\n'}"
        return
    fi
    step "$name" bash "$script" --no-build
}

step "scripts self-test" bash scripts/selftest.sh
step "shellcheck" bash scripts/shellcheck.sh
step "native" native native
step "native-asan" native native-asan
step "native-tsan" native native-tsan
step "windows-x86 build" windows x86
step "windows-x64 build" windows x64
step "windows-arm64 build" windows_arm64
step "leak check (valgrind)" bash scripts/leak-check.sh
step "release bundle" bash scripts/release.sh --no-build
# CPU work beside the Wine steps, which mostly wait: the fuzz runs, which end
# on the clock, and the release once more from a fresh clone, elsewhere,
# later, in another zone, locale and umask: every file the same (only the
# second build is made here, in a folder of its own).
step_beside "fuzz (short runs)" bash scripts/fuzz.sh
step_beside "reproducible release" bash scripts/repro.sh --reference build/release
for arch in x86 x64; do
    wine_step "wine conformance $arch" "$arch" bash scripts/conformance.sh "$arch"
done
for arch in x86 x64; do
    wine_step "wine suite $arch" "$arch" bash scripts/wine/test.sh --no-build "$arch"
done
for arch in x86 x64; do
    wine_step "wine dll planting $arch" "$arch" bash scripts/wine/planting_test.sh "$arch"
done
# Skipped only where this machine cannot emulate ARM64 (or NORV_ARM64_WINE=0).
probed_step "wine suite arm64" scripts/wine/arm64_test.sh
# A second host, Debian 13's Wine 10: skipped only where its root cannot be
# made (or NORV_WINE10=0).
probed_step "wine suite x64 (wine 10)" scripts/wine/wine10_test.sh
steps_join
step "release bundle in a fresh prefix" bash scripts/wine/bundle_test.sh
# Signs the bundle's binaries and the packages with a throwaway CA.
step "msi packages" bash scripts/msi_build_test.sh
for arch in x86 x64; do
    wine_step "wine msi $arch" "$arch" bash scripts/wine/msi_test.sh "$arch"
done

steps_join

echo
echo "=== step times"
for entry in "${times[@]}"; do
    printf '%12s  %s\n' "$(minutes "${entry%%$'\t'*}")" "${entry#*$'\t'}"
done
slowest=""
while IFS=$'\t' read -r seconds name; do
    slowest+="${slowest:+, }$name $(minutes "$seconds")"
done < <(printf '%s\n' "${times[@]}" | sort -t $'\t' -k1,1nr | head -n 3)
if ((failed)); then
    echo "failed steps: ${failures[*]}"
fi
echo "steps: $passed passed, $failed failed, $skipped skipped in $(minutes "$SECONDS"); slowest: $slowest"
((failed == 0))
