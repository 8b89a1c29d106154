// Module entry: process attach and detach, and initialisation by the spooler.
#include "common/heap.h"
#include "monitor/exports.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/port_store.h"

CRITICAL_SECTION monitorLock;
PortList* portList = nullptr;
LPWSTR registryRoot = nullptr;
HANDLE monitorEvent = nullptr;
HMODULE spoolerModule = nullptr;

const WCHAR kMonitorName[] = TEXT("NORV Monitor");
const WCHAR kMonitorDescription[] = TEXT("Norvale Document Monitor");
const WCHAR kDefaultPortName[] = TEXT("NORV");

namespace {

bool initialised = false;

void ProcessAttach(HINSTANCE module) {
    InitializeCriticalSection(&monitorLock);
    DisableThreadLibraryCalls(module);
    portList = PortList::Create(kMonitorName, kMonitorDescription, kDefaultPortName);
}

void ProcessDetach() {
    if (monitorEvent) CloseHandle(monitorEvent);
    monitorEvent = nullptr;
    HeapFreeString(registryRoot);
    registryRoot = nullptr;
    if (spoolerModule) FreeLibrary(spoolerModule);
    spoolerModule = nullptr;
    PortList::Destroy(portList);
    portList = nullptr;
    initialised = false;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ProcessAttach(module);
    else if (reason == DLL_PROCESS_DETACH) ProcessDetach();
    return TRUE;
}

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot) {
    LPMONITOREX table = const_cast<LPMONITOREX>(&monitorTable);
    MonitorLock lock;
    // A host that loads the monitor in each client process calls this again
    // while the monitor is initialised. The list already mirrors the stored
    // values and the event exists, so a repeat only hands back the table.
    if (initialised) return table;
    initialised = true;

    registryRoot = HeapCopyString(pRegistryRoot);
    monitorEvent = CreateEventW(nullptr, FALSE, FALSE, kMonitorName);
    if (!portList) return table;
    // After a failed read the list lacks stored ports: the default port is
    // listed, but storing it would overwrite the values that were not read.
    const bool complete = LoadPorts(portList, registryRoot);
    if (!portList->HasDefaultPort() && portList->Insert(nullptr, true) && complete)
        SavePorts(portList, registryRoot);
    return table;
}
