// The store's cost of one change at 10 to 10,000 ports: an add, a delete from
// the middle of the list, and the whole rewrite (SavePorts), with the
// registry calls each makes counted; beside them the bare registry writes of
// the same values.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "monitor/lock.h"
#include "monitor/state.h"
#include "ports/port_store.h"

using namespace bench;
using win32layer::Api;

namespace {

constexpr Api kRegistryApis[] = {Api::RegOpenKeyExW, Api::RegSetValueExW, Api::RegDeleteValueW,
                                 Api::RegCloseKey};

void CountRegistryCalls(benchmark::State& state, const unsigned (&before)[4]) {
    unsigned total = 0;
    for (size_t i = 0; i < 4; ++i) {
        unsigned calls = win32layer::CallCount(kRegistryApis[i]) - before[i];
        total += calls;
        state.counters[win32layer::ApiName(kRegistryApis[i])] =
            benchmark::Counter(calls, benchmark::Counter::kAvgIterations);
    }
    state.counters["registryCalls"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}

void BM_SavePorts(benchmark::State& state) {
    LoadedMonitor monitor(int(state.range(0)));
    unsigned before[4];
    for (size_t i = 0; i < 4; ++i) before[i] = win32layer::CallCount(kRegistryApis[i]);
    for (auto _ : state) {
        MonitorLock lock;
        SavePorts(portList, registryRoot);
    }
    CountRegistryCalls(state, before);
}
BENCHMARK(BM_SavePorts)->ArgName("ports")->Arg(10)->Arg(1000)->Arg(10000);

// The floor of a rewrite that changes nothing: open, the same N writes, the
// one deletion that finds the end, close.
void BM_SavePortsFloor(benchmark::State& state) {
    const int ports = int(state.range(0));
    LoadedMonitor monitor(ports);
    std::vector<std::u16string> names, values;
    for (int n = 1; n <= ports; ++n) {
        names.push_back(win32layer::U16(std::to_string(n)));
        values.push_back(n == 1 ? u"NORV" : PortName(n));
    }
    const std::u16string end = win32layer::U16(std::to_string(ports + 1));
    unsigned before[4];
    for (size_t i = 0; i < 4; ++i) before[i] = win32layer::CallCount(kRegistryApis[i]);
    for (auto _ : state) {
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(kRoot), 0, KEY_READ | KEY_SET_VALUE, &key);
        for (int i = 0; i < ports; ++i)
            RegSetValueExW(key, W(names[i]), 0, REG_SZ, reinterpret_cast<const BYTE*>(values[i].c_str()),
                           DWORD((values[i].size() + 1) * 2));
        RegDeleteValueW(key, W(end));
        RegCloseKey(key);
    }
    CountRegistryCalls(state, before);
}
BENCHMARK(BM_SavePortsFloor)->ArgName("ports")->Arg(10)->Arg(1000)->Arg(10000);

// Registry calls made while the timer runs, summed over the iterations.
class TimedCalls {
public:
    TimedCalls() { Mark(); }
    void Mark() {
        for (size_t i = 0; i < 4; ++i) mark_[i] = win32layer::CallCount(kRegistryApis[i]);
    }
    void Add() {
        for (size_t i = 0; i < 4; ++i) sum_[i] += win32layer::CallCount(kRegistryApis[i]) - mark_[i];
    }
    void Report(benchmark::State& state) const {
        unsigned total = 0;
        for (size_t i = 0; i < 4; ++i) {
            total += sum_[i];
            state.counters[win32layer::ApiName(kRegistryApis[i])] =
                benchmark::Counter(sum_[i], benchmark::Counter::kAvgIterations);
        }
        state.counters["registryCalls"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
    }

private:
    unsigned mark_[4] = {};
    unsigned sum_[4] = {};
};

// One port added on top, as every door adds it; taken out again (the head:
// nothing moves) with the timer stopped.
void BM_StoreAdd(benchmark::State& state) {
    LoadedMonitor monitor(int(state.range(0)));
    TimedCalls calls;
    int next = 0;
    std::u16string name = PortName(1000000 + next);
    for (auto _ : state) {
        {
            MonitorLock lock;
            InsertAndStore(portList, registryRoot, W(name), false);
        }
        state.PauseTiming();
        calls.Add();
        {
            MonitorLock lock;
            RemoveAndStore(portList, registryRoot, W(name));
        }
        name = PortName(1000000 + ++next);
        calls.Mark();
        state.ResumeTiming();
    }
    calls.Report(state);
}
BENCHMARK(BM_StoreAdd)->ArgName("ports")->Arg(10)->Arg(1000)->Arg(10000);

// The port halfway down the list deleted: the n/2 ports stored above it move
// down one value each. Added back on top with the timer stopped, so the list
// keeps its length and the next delete again finds n/2 ports above.
void BM_StoreDeleteMiddle(benchmark::State& state) {
    const DWORD ports = DWORD(state.range(0));
    LoadedMonitor monitor{int(ports)};
    TimedCalls calls;
    std::u16string name;
    for (auto _ : state) {
        state.PauseTiming();
        {
            MonitorLock lock;
            const PortRecord* record = portList->head;
            for (DWORD i = 0; i < ports / 2; ++i) record = record->next;
            name = reinterpret_cast<const char16_t*>(portList->DisplayName(record));
        }
        calls.Mark();
        state.ResumeTiming();
        {
            MonitorLock lock;
            RemoveAndStore(portList, registryRoot, W(name));
        }
        state.PauseTiming();
        calls.Add();
        {
            MonitorLock lock;
            InsertAndStore(portList, registryRoot, W(name), name == u"NORV");
        }
        state.ResumeTiming();
    }
    calls.Report(state);
}
BENCHMARK(BM_StoreDeleteMiddle)->ArgName("ports")->Arg(10)->Arg(1000)->Arg(10000);

// The floor of that delete: the n/2 bare writes of the moved values and the
// deletion of the last, on an open key.
void BM_StoreDeleteMiddleFloor(benchmark::State& state) {
    const int ports = int(state.range(0));
    LoadedMonitor monitor(ports);
    std::vector<std::u16string> names;
    for (int n = 1; n <= ports; ++n) names.push_back(win32layer::U16(std::to_string(n)));
    const std::u16string value = PortName(ports);
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(kRoot), 0, KEY_READ | KEY_SET_VALUE, &key);
    for (auto _ : state) {
        for (int n = ports - ports / 2; n < ports; ++n)
            RegSetValueExW(key, W(names[n - 1]), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           DWORD((value.size() + 1) * 2));
        RegDeleteValueW(key, W(names[ports - 1]));
        state.PauseTiming();
        RegSetValueExW(key, W(names[ports - 1]), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * 2));
        state.ResumeTiming();
    }
    RegCloseKey(key);
    state.counters["writes"] = double(ports / 2 + 1);
}
BENCHMARK(BM_StoreDeleteMiddleFloor)->ArgName("ports")->Arg(10)->Arg(1000)->Arg(10000);

}  // namespace
