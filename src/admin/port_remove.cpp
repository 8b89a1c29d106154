#include "admin/port_remove.h"

#include "monitor/lock.h"
#include "monitor/state.h"
#include "ports/port_store.h"

DWORD RemovePortByName(LPCWSTR name) {
    MonitorLock lock;
    if (!portList || !portList->Remove(name)) return ERROR_UNKNOWN_PORT;
    SavePorts(portList, registryRoot);
    return ERROR_SUCCESS;
}
