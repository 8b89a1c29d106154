#include "admin/port_remove.h"

#include "monitor/lock.h"
#include "monitor/state.h"
#include "ports/port_store.h"

DWORD RemovePortByName(LPCWSTR name) {
    MonitorLock lock;
    // After an incomplete load, saving would write over the ports not read.
    const LSTATUS read = CompleteFromStore(portList, registryRoot);
    if (read != ERROR_SUCCESS) return DWORD(read);
    return DWORD(RemoveAndStore(portList, registryRoot, name));
}
