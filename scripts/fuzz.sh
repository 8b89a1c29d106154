#!/usr/bin/env bash
# Builds the libFuzzer targets (preset native-fuzz, clang) and runs them all at
# once, each for the full time from its committed seed corpus: they share the
# cores, so six 60 s runs take one minute, not six. Exits non-zero when a target
# finds a crash, a leak or a broken check; the input is kept under
# build/native-fuzz/artifacts/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (default 60 s each; all targets)
#   FUZZ_SECONDS=10 scripts/fuzz.sh          same as scripts/fuzz.sh 10
#   FUZZ_LINE_COVERAGE=1 scripts/fuzz.sh     afterwards, replays each corpus through
#                                            a build with clang's source coverage and
#                                            prints the monitor's line coverage per file
# Targets: load_ports enum_ports start_doc port_sequence add_port_ex xcv.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
bash scripts/install-deps.sh native fuzz || exit 1

seconds=${FUZZ_SECONDS:-60}
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
((${#targets[@]})) || targets=(load_ports enum_ports start_doc port_sequence add_port_ex xcv)
JOBS=${JOBS:-2}

command -v clang++ >/dev/null || { echo "fuzz: clang++ missing (scripts/install-deps.sh fuzz)" >&2; exit 2; }

build=build/native-fuzz
cmake --preset native-fuzz >/dev/null || exit 1
cmake --build --preset native-fuzz -j"$JOBS" --target "${targets[@]/#/fuzz_}" || exit 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# fuzz_target TARGET: one target's run, then the edges its corpus reaches;
# its report is written to files and printed in order by fuzz_report.
fuzz_target() {
    local target=$1
    # Work on a copy so that the committed seeds stay small.
    local corpus=$build/corpus/$target artifacts=$build/artifacts log=$build/fuzz_$target.log
    mkdir -p "$corpus" "$artifacts"
    cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$corpus" >"$log" 2>&1
    echo $? >"$log.rc"
    # Edges of the monitor's own functions that the corpus reaches (sanitizer
    # checks count as edges too, so this is a lower bound).
    "$build/fuzz/fuzz_$target" -runs=0 -print_coverage=1 "$corpus" 2>&1 |
        grep -E '^(UN)?COVERED_FUNC' | grep "$PWD/src/" | grep -v "$PWD/src/win32/" >"$build/coverage_$target.txt"
}

fuzz_report() {  # fuzz_report TARGET: prints what fuzz_target left; fails with the run
    local target=$1
    local log=$build/fuzz_$target.log rc done_line units
    rc=$(cat "$log.rc" 2>/dev/null) || rc="none (the run did not end)"
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)
    units=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "=== fuzz_$target: ${seconds}s"
    echo "    runs: ${units:-?}  ${done_line:-no final stats}"
    awk '{split($5, e, "/"); c += e[1]; n += e[2]; if (e[1] > 0) f++; t++}
         END {printf "    monitor code: %d of %d edges, %d of %d functions reached (%s)\n", c, n, f, t, FILENAME}' \
        "$build/coverage_$target.txt"
    if [[ $rc != 0 ]]; then
        echo "=== fuzz_$target FAILED (exit $rc); log: $log"
        grep -E 'check failed|ERROR:|SUMMARY:|Test unit written' "$log" | head -20
        return 1
    fi
}

# Each target in a process group of its own (job control on while they
# start), so that a stopped run takes every fuzzer along.
runs=()
trap '((${#runs[@]} == 0)) || kill -- "${runs[@]/#/-}" 2>/dev/null' EXIT
echo "=== fuzz: ${#targets[@]} targets at once, ${seconds}s each"
set -m
for target in "${targets[@]}"; do
    rm -f "$build/fuzz_$target.log.rc"
    fuzz_target "$target" &
    runs+=($!)
done
set +m
wait "${runs[@]}"
runs=()

status=0
for target in "${targets[@]}"; do
    fuzz_report "$target" || status=1
done

if [[ ${FUZZ_LINE_COVERAGE:-0} == 1 ]] && command -v llvm-cov-14 >/dev/null; then
    cov=build/fuzz-coverage
    cmake -S . -B "$cov" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNORV_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
        -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null &&
        cmake --build "$cov" -j"$JOBS" --target "${targets[@]/#/fuzz_}" >/dev/null || exit 1
    for target in "${targets[@]}"; do
        LLVM_PROFILE_FILE=$cov/$target.profraw "$cov/fuzz/fuzz_$target" -runs=0 "$build/corpus/$target" >/dev/null 2>&1
        llvm-profdata-14 merge -o "$cov/$target.profdata" "$cov/$target.profraw"
        echo "=== fuzz_$target: lines of the monitor's code run by its corpus"
        llvm-cov-14 report "$cov/fuzz/fuzz_$target" -instr-profile="$cov/$target.profdata" \
            src/monitor src/ports src/jobs src/common | awk '($1 ~ /\// || $1 == "TOTAL") && NF >= 10 {printf "    %-24s %6s lines %6s missed %8s\n", $1, $8, $9, $10}'
    done
fi
exit $status
