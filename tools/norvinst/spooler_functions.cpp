#include "spooler_functions.h"

#include "console.h"
#include "system_library.h"

namespace {

SpoolerFunctions functions;

}  // namespace

bool LoadSpoolerFunctions() {
    HMODULE winspool = LoadSystemLibrary(L"winspool.drv");
    if (!winspool) {
        Err(L"cannot load winspool.drv from the system directory: %ls", ErrorMessage(GetLastError()).text);
        return false;
    }
    // Each name with its slot; the module stays loaded for the process.
    struct Entry {
        const char* name;
        void (**slot)();
    };
    const Entry entries[] = {
        {"EnumMonitorsW", reinterpret_cast<void (**)()>(&functions.EnumMonitors)},
        {"AddMonitorW", reinterpret_cast<void (**)()>(&functions.AddMonitor)},
        {"DeleteMonitorW", reinterpret_cast<void (**)()>(&functions.DeleteMonitor)},
        {"EnumPortsW", reinterpret_cast<void (**)()>(&functions.EnumPorts)},
        {"AddPortExW", reinterpret_cast<void (**)()>(&functions.AddPortEx)},
        {"EnumPrintersW", reinterpret_cast<void (**)()>(&functions.EnumPrinters)},
        {"OpenPrinterW", reinterpret_cast<void (**)()>(&functions.OpenPrinter)},
        {"XcvDataW", reinterpret_cast<void (**)()>(&functions.XcvData)},
        {"ClosePrinter", reinterpret_cast<void (**)()>(&functions.ClosePrinter)},
    };
    for (const Entry& entry : entries) {
        *entry.slot = FunctionOf<void (*)()>(winspool, entry.name);
        if (*entry.slot) continue;
        WCHAR name[32];
        int i = 0;
        for (; entry.name[i] && i < 31; ++i) name[i] = WCHAR(entry.name[i]);
        name[i] = 0;
        Err(L"winspool.drv in the system directory has no %ls", name);
        return false;
    }
    return true;
}

const SpoolerFunctions& Spooler() { return functions; }
