// AddPortEx: a port added by a program. It runs in the spooler's service
// process where nobody could answer a dialog, so every outcome is an error
// code. The spooler call runs without the monitor lock, the change and its
// save under it, as in AddPort.
#include "admin/port_add.h"

#include "admin/port_check.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/port_store.h"

namespace {

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(WCHAR c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Characters no Windows file name can hold.
bool IsBadNameCharacter(WCHAR c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*';
}

// Units of the root a path starts with: 3 for "X:\", the length of
// "\\server\share\" for a UNC path; 0 when the path is not absolute in one of
// those forms (relative, rooted on the current drive, drive-relative, or a
// device path such as \\.\ or \\?\).
DWORD RootLength(LPCWSTR path) {
    if (IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return 3;
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    DWORD i = 2;
    const DWORD server = i;
    while (path[i] && !IsSeparator(path[i])) ++i;
    if (i == server || (i == server + 1 && (path[server] == '.' || path[server] == '?'))) return 0;
    if (!path[i]) return 0;
    const DWORD share = ++i;
    while (path[i] && !IsSeparator(path[i])) ++i;
    if (i == share) return 0;
    return path[i] ? i + 1 : i;
}

// The folder as a port name: canonical, ending in one backslash.
DWORD CanonicalPortName(LPCWSTR folder, WCHAR (&name)[kPortStringUnits]) {
    if (!RootLength(folder)) return ERROR_INVALID_NAME;
    const DWORD length = GetFullPathNameW(folder, kPortStringUnits, name, nullptr);
    if (length == 0 || length >= kPortStringUnits) return ERROR_INVALID_NAME;
    // The canonical form must still be a folder path: Windows turns a
    // reserved device name such as "C:\Out\NUL" into "\\.\NUL".
    const DWORD root = RootLength(name);
    if (!root) return ERROR_INVALID_NAME;
    for (DWORD i = root == 3 ? 3 : 2; i < length; ++i)
        if (IsBadNameCharacter(name[i])) return ERROR_INVALID_NAME;
    if (name[length - 1] != '\\') {
        if (length + 1 >= kPortStringUnits) return ERROR_INVALID_NAME;
        name[length] = '\\';
        name[length + 1] = 0;
    }
    return ERROR_SUCCESS;
}

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
    if (!portList->Insert(isDefault ? nullptr : name, isDefault)) return ERROR_NOT_ENOUGH_MEMORY;
    if (SavePorts(portList, registryRoot) == ERROR_SUCCESS) return ERROR_SUCCESS;
    // Not stored: a port reported as added must outlive a restart. Take it
    // back out, and rewrite the store from the list as it was in case the
    // value landed after all.
    portList->Remove(isDefault ? kDefaultPortName : name);
    SavePorts(portList, registryRoot);
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
