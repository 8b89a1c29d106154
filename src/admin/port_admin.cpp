// Adding, configuring and deleting ports at a user's request. Dialogs and the
// spooler call run without the monitor lock; the user learns every outcome
// from a message box, and the spooler is always told the call succeeded.
#include "admin/port_dialogs.h"
#include "admin/port_check.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/port_store.h"

namespace {

// A stored port could not be read: saving the list would write over it.
void TellUnread(HWND owner) {
    Tell(owner, IDS_UNREAD_TEXT, IDS_ERROR);
}

// The change could not be stored, so it was not made either.
void TellUnsaved(HWND owner) {
    Tell(owner, IDS_UNSAVED_TEXT, IDS_ERROR);
}

// Not stored, and the store could not be brought back to the list as it was
// either: what a restart lists may differ from what is shown.
void TellMaybeNotSaved(HWND owner) {
    Tell(owner, IDS_UNSAVED_AS_SHOWN_TEXT, IDS_ERROR);
}

}  // namespace

BOOL WINAPI AddPort(LPWSTR, HWND hWnd, LPWSTR) {
    WCHAR path[kPortStringUnits];
    if (ChooseFolder(hWnd, path) != ERROR_SUCCESS) return TRUE;
    if (PortNameIsTaken(path)) {
        TellTaken(hWnd);
        return TRUE;
    }

    bool taken = false;
    bool read = true;
    LSTATUS added = ERROR_SUCCESS;
    bool inDoubt = false;
    {
        MonitorLock lock;
        read = !portList || CompleteFromStore(portList, registryRoot) == ERROR_SUCCESS;
        // Another AddPort may have added the same folder since the check.
        taken = read && (!portList || portList->Find(path));
        if (read && !taken) added = InsertAndStore(portList, registryRoot, path, false, &inDoubt);
    }
    if (!read) TellUnread(hWnd);
    else if (taken) TellTaken(hWnd);
    else if (added == ERROR_NOT_ENOUGH_MEMORY)
        Tell(hWnd, IDS_NO_MEMORY_TEXT, IDS_ERROR);
    else if (inDoubt) TellMaybeNotSaved(hWnd);
    else if (added != ERROR_SUCCESS) TellUnsaved(hWnd);
    return TRUE;
}

BOOL WINAPI ConfigurePort(LPWSTR, HWND hWnd, LPWSTR) {
    TellNotConfigurable(hWnd);
    return TRUE;
}

BOOL WINAPI DeletePort(LPWSTR, HWND hWnd, LPWSTR pPortName) {
    bool read = true;
    LSTATUS removed = ERROR_UNKNOWN_PORT;
    bool inDoubt = false;
    {
        MonitorLock lock;
        read = !portList || CompleteFromStore(portList, registryRoot) == ERROR_SUCCESS;
        if (read && portList) removed = RemoveAndStore(portList, registryRoot, pPortName, &inDoubt);
    }
    if (!read) TellUnread(hWnd);
    else if (removed == ERROR_UNKNOWN_PORT) TellNotRemoved(hWnd);
    else if (inDoubt) TellMaybeNotSaved(hWnd);
    else if (removed != ERROR_SUCCESS) TellUnsaved(hWnd);
    else TellRemoved(hWnd, pPortName);
    return TRUE;
}
