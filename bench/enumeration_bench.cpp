// EnumPorts at both levels against its floor: a memcpy of the same number of
// output bytes. bench.sh reports each as a ratio to its floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_support.h"
#include "monitor/lock.h"
#include "monitor/state.h"
#include "ports/enumeration.h"

using namespace bench;

namespace {

DWORD NeededBytes(const LoadedMonitor& monitor, DWORD level) {
    DWORD needed = 0, returned = 0;
    monitor.ops().pfnEnumPorts(nullptr, level, nullptr, 0, &needed, &returned);
    return needed;
}

// EnumPorts into a buffer of the size it asks for; with `afterChange`, each
// call is the first after a change of the list, which packs the answer's
// strings anew from the records before it copies them.
void EnumPortsLoop(benchmark::State& state, bool afterChange) {
    const DWORD level = DWORD(state.range(0));
    LoadedMonitor monitor(int(state.range(1)));
    const DWORD needed = NeededBytes(monitor, level);
    std::vector<BYTE> buffer(needed);
    DWORD bytes = 0, returned = 0;
    for (auto _ : state) {
        if (afterChange) {
            MonitorLock lock;
            ++portList->changes;  // what every change of the list does
        }
        monitor.ops().pfnEnumPorts(nullptr, level, buffer.data(), needed, &bytes, &returned);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    if (returned != DWORD(state.range(1))) state.SkipWithError("wrong port count");
    state.SetBytesProcessed(int64_t(state.iterations()) * needed);
    state.counters["bytes"] = needed;
}

void BM_EnumPorts(benchmark::State& state) { EnumPortsLoop(state, false); }
void BM_EnumPortsAfterChange(benchmark::State& state) { EnumPortsLoop(state, true); }

// The floor: copying the answer's bytes, with nothing to find or pack.
void BM_EnumPortsFloor(benchmark::State& state) {
    const DWORD level = DWORD(state.range(0));
    DWORD needed;
    {
        LoadedMonitor monitor(int(state.range(1)));
        needed = NeededBytes(monitor, level);
    }
    std::vector<BYTE> source(needed, 0x5A), buffer(needed);
    for (auto _ : state) {
        std::memcpy(buffer.data(), source.data(), needed);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * needed);
    state.counters["bytes"] = needed;
}

// Where EnumPorts' time goes: the walk over the records alone (what packing
// from the records costs, when no memory is left for a packed answer), then
// the sizing (from the list's kept count and name lengths, no walk), each
// under the lock as EnumPorts runs them.
void BM_EnumPortsWalkOnly(benchmark::State& state) {
    LoadedMonitor monitor(int(state.range(1)));
    for (auto _ : state) {
        MonitorLock lock;
        DWORD count = 0;
        for (PortRecord* record = portList->head; record->next; record = record->next)
            count += portList->DisplayName(record)[0] != 0;
        benchmark::DoNotOptimize(count);
    }
}

void BM_EnumPortsSizingPass(benchmark::State& state) {
    const DWORD level = DWORD(state.range(0));
    LoadedMonitor monitor(int(state.range(1)));
    for (auto _ : state) {
        MonitorLock lock;
        benchmark::DoNotOptimize(ListSize(portList, level));
    }
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int level : {1, 2})
        for (int ports : {1, 10, 100, 1000}) b->Args({level, ports});
    b->ArgNames({"level", "ports"});
}

}  // namespace

BENCHMARK(BM_EnumPorts)->Apply(Sizes);
BENCHMARK(BM_EnumPortsFloor)->Apply(Sizes);
BENCHMARK(BM_EnumPortsAfterChange)->Args({1, 1000})->Args({2, 1000})->ArgNames({"level", "ports"});
BENCHMARK(BM_EnumPortsWalkOnly)->Args({1, 1000})->ArgNames({"level", "ports"});
BENCHMARK(BM_EnumPortsSizingPass)->Args({1, 1000})->Args({2, 1000})->ArgNames({"level", "ports"});
