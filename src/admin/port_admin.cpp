// Adding, configuring and deleting ports at a user's request. Dialogs and the
// spooler call run without the monitor lock; the user learns every outcome
// from a message box, and the spooler is always told the call succeeded.
#include "admin/port_dialogs.h"
#include "admin/port_check.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/port_store.h"

BOOL WINAPI AddPort(LPWSTR, HWND hWnd, LPWSTR) {
    WCHAR path[kPortStringUnits];
    if (!ChooseFolder(hWnd, path)) return TRUE;
    if (PortNameIsTaken(path)) {
        TellTaken(hWnd);
        return TRUE;
    }

    bool taken = false;
    bool added = false;
    {
        MonitorLock lock;
        // Another AddPort may have added the same folder since the check.
        taken = !portList || portList->Find(path);
        if (!taken) {
            added = portList->Insert(path, false) != 0;
            SavePorts(portList, registryRoot);
        }
    }
    if (taken) TellTaken(hWnd);
    else if (!added)
        Tell(hWnd, TEXT("The port could not be added: not enough memory."), TEXT("Error"));
    return TRUE;
}

BOOL WINAPI ConfigurePort(LPWSTR, HWND hWnd, LPWSTR) {
    TellNotConfigurable(hWnd);
    return TRUE;
}

BOOL WINAPI DeletePort(LPWSTR, HWND hWnd, LPWSTR pPortName) {
    bool removed = false;
    {
        MonitorLock lock;
        removed = portList && portList->Remove(pPortName);
        if (removed) SavePorts(portList, registryRoot);
    }
    if (removed) TellRemoved(hWnd, pPortName);
    else TellNotRemoved(hWnd);
    return TRUE;
}
