#!/usr/bin/env bash
# Builds the benchmarks (preset native-bench, Release) and runs them; then
# prints the tables of docs/performance.md: EnumPorts as ratios to its memcpy
# floor, job cycles, SavePorts with its registry calls, one add and one
# delete at 10 to 10,000 ports against their targets, and job cycles from
# two threads behind a slow printer. Extra arguments go to the benchmark
# binary (e.g. --benchmark_filter=EnumPorts).
#
#   scripts/bench.sh [benchmark options]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
bash scripts/install-deps.sh native bench || exit 1
JOBS=${JOBS:-2}
build=build/native-bench

cmake --preset native-bench >/dev/null || exit 1
cmake --build --preset native-bench -j"$JOBS" --target norvmon_bench >/dev/null || exit 1

json=$build/bench.json
"$build/bench/norvmon_bench" --benchmark_out="$json" --benchmark_out_format=json "$@" || exit 1

command -v python3 >/dev/null || { echo "bench: python3 missing; raw results in $json"; exit 0; }
python3 - "$json" <<'PY'
import json, re, sys
data = json.load(open(sys.argv[1]))
# With --benchmark_repetitions the medians stand for each benchmark.
runs = {b["name"]: b for b in data["benchmarks"] if b.get("run_type", "iteration") == "iteration"}
for b in data["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median":
        runs[b["run_name"]] = b
ctx = data["context"]
print(f"\nhost: {ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz, "
      f"{ctx.get('date')}")

# CPU time of the benchmark thread: the machine may be shared with builds.
# The threaded benchmark, which waits on a lock and a slow printer, uses wall time.
def ns(run, key="cpu_time"):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run["time_unit"]]
    return run[key] * scale

print("\n| EnumPorts | ports | bytes | monitor ns | memcpy floor ns | ratio |")
print("|---|---:|---:|---:|---:|---:|")
for name, run in runs.items():
    m = re.fullmatch(r"BM_EnumPorts/level:(\d+)/ports:(\d+)", name)
    if not m: continue
    floor = runs.get(name.replace("BM_EnumPorts/", "BM_EnumPortsFloor/"))
    if not floor: continue
    print(f"| level {m[1]} | {m[2]} | {int(run['bytes'])} | {ns(run):.1f} | {ns(floor):.1f} | "
          f"{ns(run) / ns(floor):.2f}x |")

walk = runs.get("BM_EnumPortsWalkOnly/level:1/ports:1000")
if walk:
    print("\n| EnumPorts at 1000 ports, in parts | ns |")
    print("|---|---:|")
    print(f"| walk over the records alone | {ns(walk):.0f} |")
    for level in (1, 2):
        sizing = runs.get(f"BM_EnumPortsSizingPass/level:{level}/ports:1000")
        full = runs.get(f"BM_EnumPorts/level:{level}/ports:1000")
        if sizing and full:
            print(f"| level {level}: sizing from the kept count and lengths | {ns(sizing):.0f} |")
            print(f"| level {level}: whole call, answer packed already | {ns(full):.0f} |")
        repack = runs.get(f"BM_EnumPortsAfterChange/level:{level}/ports:1000")
        if repack:
            print(f"| level {level}: first call after a change (packs anew) | {ns(repack):.0f} |")

print("\n| Job cycle (open, start, write, end, close) | ns per cycle |")
print("|---|---:|")
for name, run in runs.items():
    m = re.fullmatch(r"BM_JobCycle/ports:(\d+)/printer:(\d)", name)
    if m:
        what = "with printer calls" if m[2] == "1" else "monitor only (no printer named)"
        print(f"| {m[1]} ports, {what} | {ns(run):.1f} |")
for call in ("OpenPort", "ClosePort"):
    for ports in (10, 1000):
        run = runs.get(f"BM_{call}Alone/ports:{ports}")
        if run:
            print(f"| {call} alone, {ports} ports | {ns(run):.1f} |")
if "BM_PrinterCallsAlone" in runs:
    print(f"| the three printer calls alone (layer) | {ns(runs['BM_PrinterCallsAlone']):.1f} |")

print("\n| SavePorts | ports | µs per save | registry calls | RegSetValueExW | RegDeleteValueW | open+close |")
print("|---|---:|---:|---:|---:|---:|---:|")
for name, run in runs.items():
    m = re.fullmatch(r"BM_SavePorts(Floor)?/ports:(\d+)", name)
    if not m: continue
    what = "bare registry writes (floor)" if m[1] else "SavePorts"
    print(f"| {what} | {m[2]} | {ns(run) / 1e3:.1f} | {run['registryCalls']:.0f} | "
          f"{run['RegSetValueExW']:.0f} | {run['RegDeleteValueW']:.0f} | "
          f"{run['RegOpenKeyExW'] + run['RegCloseKey']:.0f} |")

# One change to the store. An add writes one value, so its cost must not
# grow with the list: add at 10,000 within 2x of add at 10. A delete from the
# middle moves the n/2 values above it down by one: its model is the delete
# at 10 ports plus (n/2 - 5) value writes, each at the per-write cost of the
# bare writes at n (the floor); the delete must stay within 2x of that model.
print("\n| One change | ports | µs per change | registry calls | RegSetValueExW | RegDeleteValueW | open+close |")
print("|---|---:|---:|---:|---:|---:|---:|")
for what, kind in (("add one port", "StoreAdd"), ("delete the middle port", "StoreDeleteMiddle"),
                   ("bare writes of that delete (floor)", "StoreDeleteMiddleFloor")):
    for ports in (10, 1000, 10000):
        run = runs.get(f"BM_{kind}/ports:{ports}")
        if not run: continue
        if "registryCalls" in run:
            print(f"| {what} | {ports} | {ns(run) / 1e3:.2f} | {run['registryCalls']:.0f} | "
                  f"{run['RegSetValueExW']:.0f} | {run['RegDeleteValueW']:.0f} | "
                  f"{run['RegOpenKeyExW'] + run['RegCloseKey']:.0f} |")
        else:
            print(f"| {what} | {ports} | {ns(run) / 1e3:.2f} | {run['writes']:.0f} | "
                  f"{run['writes'] - 1:.0f} | 1 | 0 |")
add = {p: runs.get(f"BM_StoreAdd/ports:{p}") for p in (10, 1000, 10000)}
delete = {p: runs.get(f"BM_StoreDeleteMiddle/ports:{p}") for p in (10, 1000, 10000)}
floor = {p: runs.get(f"BM_StoreDeleteMiddleFloor/ports:{p}") for p in (10, 1000, 10000)}
if all(add.values()) and all(delete.values()) and all(floor.values()):
    print("\n| Growth of one change | ports | measured µs | model µs | ratio | target |")
    print("|---|---:|---:|---:|---:|---:|")
    for p in (1000, 10000):
        r = ns(add[p]) / ns(add[10])
        print(f"| add, against add at 10 | {p} | {ns(add[p]) / 1e3:.2f} | {ns(add[10]) / 1e3:.2f} | "
              f"{r:.2f}x | {'met' if r <= 2 else 'MISSED'} (2x) |")
    for p in (1000, 10000):
        write = ns(floor[p]) / floor[p]["writes"]
        model = ns(delete[10]) + (p // 2 - 5) * write
        r = ns(delete[p]) / model
        print(f"| delete, against delete at 10 + {p // 2 - 5} writes of {write:.0f} ns | {p} | "
              f"{ns(delete[p]) / 1e3:.2f} | {model / 1e3:.2f} | {r:.2f}x | {'met' if r <= 2 else 'MISSED'} (2x) |")

print("\n| Job cycles, every printer call 1 ms | threads | cycles/s (all threads) | ms per cycle, per thread |")
print("|---|---:|---:|---:|")
for name, run in runs.items():
    m = re.fullmatch(r"BM_JobCyclesSlowPrinter/iterations:\d+/real_time/threads:(\d+)", name)
    if m:
        print(f"| 10 ports, own port per thread | {m[1]} | {run['items_per_second']:.0f} | "
              f"{ns(run, 'real_time') / 1e6 * int(m[1]):.2f} |")
PY
