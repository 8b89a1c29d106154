// Entry of the legacy DLL (norvmon.dll): InitializePrintMonitor, which binds
// the store to HKEY_LOCAL_MACHINE\<pRegistryRoot>.
#include "admin/port_dialogs.h"
#include "common/heap.h"
#include "monitor/exports.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/session.h"
#include "monitor/state.h"
#include "ports/enumeration.h"

namespace {

void ShowInvalidLevelBox() { Tell(nullptr, IDS_ERROR, IDS_INVALID_LEVEL_CAPTION); }

}  // namespace

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot) {
    LPMONITOREX table = const_cast<LPMONITOREX>(&monitorTable);
    MonitorLock lock;
    invalidLevelNotice = ShowInvalidLevelBox;
    // A host that loads the monitor in each client process calls this again
    // while the monitor is initialised. The list already mirrors the stored
    // values and the event exists, so a repeat only hands back the table.
    if (monitorStarted) return table;
    registryRoot = HeapCopyString(pRegistryRoot);
    StartMonitor();
    return table;
}
