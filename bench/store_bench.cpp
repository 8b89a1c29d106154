// SavePorts, the registry rewrite after every change, with the registry calls
// it makes counted; beside it the bare registry writes of the same values.
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
BENCHMARK(BM_SavePorts)->ArgName("ports")->Arg(10)->Arg(1000);

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
BENCHMARK(BM_SavePortsFloor)->ArgName("ports")->Arg(10)->Arg(1000);

}  // namespace
