#include "bench_support.h"

#include "monitor/exports.h"

namespace bench {

const std::u16string kRoot = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";

namespace {
HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(0x10000000); }
}  // namespace

std::u16string PortName(int i) {
    return u"D:\\Output\\Scans\\Port" + win32layer::U16(std::to_string(i)) + u"\\";
}

LoadedMonitor::LoadedMonitor(int ports) {
    win32layer::Reset();
    // Value 1 is the default port; the rest are folders, the oldest lowest.
    win32layer::RegistrySetString(kRoot, u"1", u"NORV");
    for (int i = 2; i <= ports; ++i)
        win32layer::RegistrySetString(kRoot, win32layer::U16(std::to_string(i)), PortName(i));
    DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
    table_ = InitializePrintMonitor(W(kRoot));
}

LoadedMonitor::~LoadedMonitor() { DllMain(Module(), DLL_PROCESS_DETACH, nullptr); }

}  // namespace bench
