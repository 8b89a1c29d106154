// Entry of the modern monitor DLL (norvmon2.dll): InitializePrintMonitor2 and
// Shutdown. The store is bound to the spooler's registry functions and key
// from MONITORINIT. Ports are added and removed through Xcv (xcv/), never in
// a window: this DLL runs in the spooler's service, where nobody sees one.
#include "common/heap.h"
#include "monitor/exports.h"
#include "monitor/lock.h"
#include "monitor/modern_table.h"
#include "monitor/operations.h"
#include "monitor/session.h"
#include "monitor/state.h"
#include "ports/enumeration.h"
#include "ports/store_key.h"
#include "xcv/xcv.h"

namespace {

constexpr WCHAR kLocalMonitorKey[] =
    TEXT("System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor");

// The handle the spooler holds for the monitor: there is one instance.
char monitorInstance;

BOOL WINAPI EnumPortsOf(HANDLE, LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                        LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return EnumPorts(pName, Level, pPorts, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI OpenPortOf(HANDLE, LPWSTR pName, PHANDLE pHandle) { return OpenPort(pName, pHandle); }

VOID WINAPI Shutdown(HANDLE hMonitor) {
    if (hMonitor != &monitorInstance) return;
    MonitorLock lock;
    StopMonitor();
    // The loaded ports go with the session: a new initialisation reads them
    // again into an empty list.
    PortList::Destroy(portList);
    portList = PortList::Create(kMonitorName, kMonitorDescription, kDefaultPortName);
}

// Windows 2000 reads the table only up to pfnShutdown; later versions read
// it whole, and do not call the slots left null.
DWORD TableSize() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    const bool win2000 = GetVersionExW(&version) && version.dwMajorVersion == 5 &&
                         version.dwMinorVersion == 0;
    return win2000 ? kWin2000TableSize : kWholeTableSize;
}

// The job path and enumeration are the legacy table's. The slots that would
// show a window stay empty, so that the spooler asks the UI DLL instead.
ModernTable MakeTable() {
    ModernTable table = {};
    table.pfnEnumPorts = EnumPortsOf;
    table.pfnOpenPort = OpenPortOf;
    table.pfnStartDocPort = StartDocPort;
    table.pfnWritePort = WritePort;
    table.pfnReadPort = ReadPort;
    table.pfnEndDocPort = EndDocPort;
    table.pfnClosePort = ClosePort;
    table.pfnXcvOpenPort = XcvOpenPort;
    table.pfnXcvDataPort = XcvDataPort;
    table.pfnXcvClosePort = XcvClosePort;
    table.pfnShutdown = Shutdown;
    return table;
}

// cbSize is set by each initialisation, under the monitor lock, always to
// the same value within one process.
ModernTable monitorTable2 = MakeTable();

}  // namespace

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
    if (!pMonitorInit || !phMonitor || pMonitorInit->cbSize < sizeof(MONITORINIT) ||
        !pMonitorInit->pMonitorReg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    MonitorLock lock;
    invalidLevelNotice = nullptr;
    if (!monitorStarted) {
        // Spoolers whose registry functions are stubs (Wine's answer
        // ERROR_CALL_NOT_IMPLEMENTED) keep local monitors' keys where
        // every spooler does; the store then goes there through advapi32.
        if (!BindStore(pMonitorInit->pMonitorReg, pMonitorInit->hckRegistryRoot,
                       pMonitorInit->hSpooler))
            registryRoot = HeapCopyString(kLocalMonitorKey);
        StartMonitor();
    }
    monitorTable2.cbSize = TableSize();
    *phMonitor = &monitorInstance;
    return reinterpret_cast<LPMONITOR2>(&monitorTable2);
}
