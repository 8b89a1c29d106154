// AddPortEx: a port added by a program. It runs in the spooler's service
// process where nobody could answer a dialog, so every outcome is an error
// code. The spooler call runs without the monitor lock, the change and its
// save under it, as in AddPort.
#include "admin/port_add.h"

#include "admin/port_check.h"
#include "admin/port_name.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/port_store.h"

namespace {

DWORD CheckIsDirectory(LPCWSTR name) {
    const DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_SUCCESS;
}

// Under the lock: the list made complete, checked again (another caller may
// have added the name since the spooler was asked), changed and saved.
DWORD InsertAndSave(LPCWSTR name, bool isDefault) {
    MonitorLock lock;
    if (!portList) return ERROR_NOT_ENOUGH_MEMORY;
    const LSTATUS complete = CompleteFromStore(portList, registryRoot);
    if (complete != ERROR_SUCCESS) return DWORD(complete);
    if (isDefault ? portList->HasDefaultPort() : portList->Find(name) != nullptr)
        return ERROR_ALREADY_EXISTS;
    // Not stored, the port is taken back out: one reported as added must
    // outlive a restart.
    const LSTATUS status = InsertAndStore(portList, registryRoot, name, isDefault);
    if (status == ERROR_SUCCESS || status == ERROR_NOT_ENOUGH_MEMORY) return DWORD(status);
    return ERROR_CANTWRITE;
}

}  // namespace

DWORD AddFolderPort(LPCWSTR folder) {
    if (!folder || !folder[0]) return ERROR_INVALID_PARAMETER;
    const bool isDefault = WideEqualNoCase(folder, kDefaultPortName);
    WCHAR name[kPortStringUnits];
    if (isDefault) {
        WideCopy(name, kPortStringUnits, kDefaultPortName);
    } else {
        DWORD error = CanonicalPortName(folder, name);
        if (error == ERROR_SUCCESS) error = CheckIsDirectory(name);
        if (error != ERROR_SUCCESS) return error;
    }
    if (PortNameIsTaken(name)) return ERROR_ALREADY_EXISTS;
    return InsertAndSave(name, isDefault);
}

DWORD AddExactPort(LPCWSTR name) {
    if (!name || !name[0]) return ERROR_INVALID_PARAMETER;
    if (!WideEqual(name, kDefaultPortName)) {
        WCHAR canonical[kPortStringUnits];
        if (CanonicalPortName(name, canonical) != ERROR_SUCCESS || !WideEqual(name, canonical))
            return ERROR_INVALID_NAME;
    }
    return AddFolderPort(name);
}

BOOL WINAPI AddPortEx(LPWSTR, DWORD Level, LPBYTE pBuffer, LPWSTR) {
    if (Level != 1 && Level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!pBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Both records begin with the port's name.
    LPCWSTR folder = Level == 1 ? reinterpret_cast<PORT_INFO_1W*>(pBuffer)->pName
                                : reinterpret_cast<PORT_INFO_2W*>(pBuffer)->pPortName;
    const DWORD error = AddFolderPort(folder);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}
