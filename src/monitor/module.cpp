// Process attach and detach, and the start and stop of a monitor session,
// shared by both entry points (legacy_entry.cpp, modern_entry.cpp).
#include "common/heap.h"
#include "monitor/exports.h"
#include "monitor/lock.h"
#include "monitor/session.h"
#include "monitor/state.h"
#include "ports/port_store.h"
#include "ports/store_key.h"

CRITICAL_SECTION monitorLock;
PortList* portList = nullptr;
LPWSTR registryRoot = nullptr;
HANDLE monitorEvent = nullptr;
HMODULE spoolerModule = nullptr;
bool monitorStarted = false;

namespace {

void ProcessAttach(HINSTANCE module) {
    InitializeCriticalSection(&monitorLock);
    DisableThreadLibraryCalls(module);
    portList = PortList::Create(kMonitorName, kMonitorDescription, kDefaultPortName);
}

void ProcessDetach() {
    StopMonitor();
    if (spoolerModule) FreeLibrary(spoolerModule);
    spoolerModule = nullptr;
    PortList::Destroy(portList);
    portList = nullptr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ProcessAttach(module);
    else if (reason == DLL_PROCESS_DETACH) ProcessDetach();
    return TRUE;
}

void StartMonitor() {
    monitorStarted = true;
    monitorEvent = CreateEventW(nullptr, FALSE, FALSE, kMonitorName);
    if (!portList) return;
    // After a failed read the list lacks stored ports: the default port is
    // listed, but storing it would overwrite the values that were not read.
    const bool complete = LoadPorts(portList, registryRoot);
    if (!portList->HasDefaultPort() && portList->Insert(nullptr, true) && complete)
        StoreListedHead(portList, registryRoot);
}

void StopMonitor() {
    if (monitorEvent) CloseHandle(monitorEvent);
    monitorEvent = nullptr;
    HeapFreeString(registryRoot);
    registryRoot = nullptr;
    UnbindStore();
    monitorStarted = false;
}
