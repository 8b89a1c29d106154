// One job on a port, open to close, as the spooler drives it; and job cycles
// from two threads while the spooler's printer calls are slow, which EndDocPort
// makes under the monitor lock.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_support.h"
#include "printers_control.h"

using namespace bench;

namespace {

const std::u16string kPrinter = u"Bench";  // short: the layer's call log stays small

// One job cycle. An empty printer name makes EndDocPort skip the printer, which
// leaves the monitor's own work.
void Cycle(const LoadedMonitor& monitor, const std::u16string& port, const std::u16string& printer,
           DWORD job) {
    const MONITOR& m = monitor.ops();
    HANDLE handle = nullptr;
    m.pfnOpenPort(W(port), &handle);
    DOC_INFO_1W info = {W(u"Report.doc"), nullptr, nullptr};
    m.pfnStartDocPort(handle, W(printer), job, 1, reinterpret_cast<LPBYTE>(&info));
    BYTE data[512] = {};
    DWORD written = 0;
    m.pfnWritePort(handle, data, sizeof(data), &written);
    m.pfnEndDocPort(handle);
    m.pfnClosePort(handle);
}

// Args: ports in the list, whether EndDocPort reaches a printer. The port used
// is the oldest folder, next to last in the list: the longest walk to find it.
void BM_JobCycle(benchmark::State& state) {
    LoadedMonitor monitor(int(state.range(0)));
    const std::u16string printer = state.range(1) ? kPrinter : u"";
    win32layer::AddPrinter(kPrinter);
    const std::u16string port = PortName(2);
    DWORD job = 1;
    for (auto _ : state) Cycle(monitor, port, printer, job++);
}
BENCHMARK(BM_JobCycle)
    ->ArgNames({"ports", "printer"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({1000, 0})
    ->Args({1000, 1});

// Where a cycle's time goes with many ports: OpenPort finds the port by name
// (a case-insensitive compare per record); the other calls check the handle
// against the list (a pointer compare per record).
void BM_OpenPortAlone(benchmark::State& state) {
    LoadedMonitor monitor(int(state.range(0)));
    const std::u16string port = PortName(2);
    for (auto _ : state) {
        HANDLE handle = nullptr;
        monitor.ops().pfnOpenPort(W(port), &handle);
        benchmark::DoNotOptimize(handle);
    }
}
BENCHMARK(BM_OpenPortAlone)->ArgName("ports")->Arg(10)->Arg(1000);

void BM_ClosePortAlone(benchmark::State& state) {
    LoadedMonitor monitor(int(state.range(0)));
    HANDLE handle = nullptr;
    monitor.ops().pfnOpenPort(W(PortName(2)), &handle);
    for (auto _ : state) benchmark::DoNotOptimize(monitor.ops().pfnClosePort(handle));
}
BENCHMARK(BM_ClosePortAlone)->ArgName("ports")->Arg(10)->Arg(1000);

// The layer's cost of the three printer calls EndDocPort makes, to tell the
// monitor's time from the platform's.
void BM_PrinterCallsAlone(benchmark::State& state) {
    win32layer::Reset();
    win32layer::AddPrinter(kPrinter);
    DWORD job = 1;
    for (auto _ : state) {
        HANDLE printer = nullptr;
        if (OpenPrinterW(W(kPrinter), &printer, nullptr)) {
            SetJobW(printer, job++, 0, nullptr, JOB_CONTROL_DELETE);
            ClosePrinter(printer);
        }
    }
}
BENCHMARK(BM_PrinterCallsAlone);

// Job cycles from 1 or 2 threads, each on its own port, while every printer
// call takes 1 ms. EndDocPort holds the monitor lock across its three printer
// calls, so the second thread's cycles wait for the first's.
std::unique_ptr<LoadedMonitor> contended;

void BM_JobCyclesSlowPrinter(benchmark::State& state) {
    if (state.thread_index() == 0) {
        contended = std::make_unique<LoadedMonitor>(10);
        win32layer::AddPrinter(kPrinter);
        win32layer::SetPrinterCallDelay(1000);
    }
    const std::u16string port = PortName(2 + state.thread_index());
    DWORD job = DWORD(state.thread_index()) << 20;
    for (auto _ : state) Cycle(*contended, port, kPrinter, job++);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        win32layer::SetPrinterCallDelay(0);
        contended.reset();
    }
}
BENCHMARK(BM_JobCyclesSlowPrinter)->Threads(1)->Threads(2)->Iterations(100)->UseRealTime();

}  // namespace
