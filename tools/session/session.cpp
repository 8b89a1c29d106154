// Runs the monitor natively as a spooler would for a short session: process
// attach, initialisation with the monitor's registry key, a port listing at
// both levels, process detach; then prints what the registry holds.
#include <cstdio>
#include <vector>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "control.h"
#include "monitor/exports.h"

using win32layer::U8;

namespace {

const char16_t kRoot[] = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";

void List(const MONITOREX* table, DWORD level) {
    DWORD needed = 0, returned = 0;
    table->Monitor.pfnEnumPorts(nullptr, level, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    if (!table->Monitor.pfnEnumPorts(nullptr, level, buffer.data(), needed, &needed, &returned)) {
        std::printf("EnumPorts level %u failed: %u\n", level, GetLastError());
        return;
    }
    std::printf("EnumPorts level %u: %u port(s), %u bytes\n", level, returned, needed);
    for (DWORD i = 0; i < returned; ++i) {
        if (level == 1) {
            auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data()) + i;
            std::printf("  %s\n", U8(info->pName).c_str());
        } else {
            auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data()) + i;
            std::printf("  %-28s %-14s %s\n", U8(info->pPortName).c_str(),
                        U8(info->pMonitorName).c_str(), U8(info->pDescription).c_str());
        }
    }
}

}  // namespace

int main() {
    // A machine with one port added earlier.
    win32layer::SetTempPath(u"C:\\WINDOWS\\TEMP\\");
    win32layer::RegistrySetString(kRoot, u"1", u"D:\\Scans\\");

    auto* module = reinterpret_cast<HINSTANCE>(0x10000000);
    std::printf("process attach\n");
    DllMain(module, DLL_PROCESS_ATTACH, nullptr);
    std::printf("InitializePrintMonitor(\"%s\")\n", U8(kRoot).c_str());
    LPMONITOREX table = InitializePrintMonitor(const_cast<LPWSTR>(kRoot));
    std::printf("table: dwMonitorSize = %u\n", table->dwMonitorSize);
    List(table, 1);
    List(table, 2);
    std::printf("registry values under HKLM\\%s:\n", U8(kRoot).c_str());
    for (const auto& value : win32layer::RegistryValues(kRoot))
        std::printf("  %s = %s\n", U8(value.name).c_str(), U8(value.AsString()).c_str());
    std::printf("process detach\n");
    DllMain(module, DLL_PROCESS_DETACH, nullptr);
    std::printf("heap blocks left: %zu\n", win32layer::LiveHeapBlocks());
    return win32layer::LiveHeapBlocks() == 0 ? 0 : 1;
}
