// Adding, configuring and deleting ports at a user's request. Dialogs and the
// spooler call run without the monitor lock; the user learns every outcome
// from a message box, and the spooler is always told the call succeeded.
#include <shlobj.h>

#include "admin/port_check.h"
#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/port_store.h"

namespace {

constexpr DWORD kMessageUnits = 512;

void Tell(HWND owner, LPCWSTR text, LPCWSTR caption) { MessageBoxW(owner, text, caption, MB_OK); }

void TellTaken(HWND owner) {
    Tell(owner, TEXT("The port cannot be added, because there\nis another one with the same name."),
         TEXT("Port already exists"));
}

// A stored port could not be read: saving the list would write over it.
void TellUnread(HWND owner) {
    Tell(owner, TEXT("The list of ports could not be read.\n\nNothing was changed."),
         TEXT("Error"));
}

// The change is made, but the store may still hold the list before it.
void TellUnsaved(HWND owner) {
    Tell(owner,
         TEXT("The port list could not be saved.\n\nThe change may be lost when the spooler "
              "restarts."),
         TEXT("Error"));
}

// Frees a folder browser's item list through the shell allocator.
void FreeItemList(PIDLIST_ABSOLUTE list) {
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    } else {
        CoTaskMemFree(list);
    }
}

// The folder the user picks, as a port name ending in a backslash; false when
// the user cancelled or the folder cannot be a port (the user has been told).
bool ChooseFolder(HWND owner, WCHAR (&path)[kPortStringUnits]) {
    WCHAR displayName[kPortStringUnits] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = TEXT("Please select output-directory:");
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (!list) return false;

    path[0] = 0;
    if (!SHGetPathFromIDListW(list, path)) path[0] = 0;
    FreeItemList(list);

    DWORD length = WideLength(path);
    if (length == 0) {
        Tell(owner,
             TEXT("The selected folder is not a folder of the file system.\n\nPlease select "
                  "a folder on a drive."),
             TEXT("Port not added"));
        return false;
    }
    if (path[length - 1] != '\\') {
        if (length + 1 >= kPortStringUnits) {
            Tell(owner,
                 TEXT("The path of the selected folder is too long for a port.\n\nPlease "
                      "select a folder with a shorter path."),
                 TEXT("Port not added"));
            return false;
        }
        path[length] = '\\';
        path[length + 1] = 0;
    }
    return true;
}

}  // namespace

BOOL WINAPI AddPort(LPWSTR, HWND hWnd, LPWSTR) {
    WCHAR path[kPortStringUnits];
    if (!ChooseFolder(hWnd, path)) return TRUE;
    if (PortNameIsTaken(path)) {
        TellTaken(hWnd);
        return TRUE;
    }

    bool taken = false;
    bool read = true;
    bool added = false;
    bool saved = false;
    {
        MonitorLock lock;
        read = !portList || CompleteFromStore(portList, registryRoot) == ERROR_SUCCESS;
        // Another AddPort may have added the same folder since the check.
        taken = read && (!portList || portList->Find(path));
        if (read && !taken) {
            added = portList->Insert(path, false) != 0;
            saved = added && SavePorts(portList, registryRoot) == ERROR_SUCCESS;
        }
    }
    if (!read) TellUnread(hWnd);
    else if (taken) TellTaken(hWnd);
    else if (!added)
        Tell(hWnd, TEXT("The port could not be added: not enough memory."), TEXT("Error"));
    else if (!saved) TellUnsaved(hWnd);
    return TRUE;
}

BOOL WINAPI ConfigurePort(LPWSTR, HWND hWnd, LPWSTR) {
    Tell(hWnd, TEXT("This port cannot be configured.\n\nTo change the output-directory, add a new one."),
         kMonitorName);
    return TRUE;
}

BOOL WINAPI DeletePort(LPWSTR, HWND hWnd, LPWSTR pPortName) {
    bool read = true;
    bool removed = false;
    bool saved = false;
    {
        MonitorLock lock;
        read = !portList || CompleteFromStore(portList, registryRoot) == ERROR_SUCCESS;
        removed = read && portList && portList->Remove(pPortName);
        saved = removed && SavePorts(portList, registryRoot) == ERROR_SUCCESS;
    }
    if (!read) {
        TellUnread(hWnd);
        return TRUE;
    }
    if (!removed) {
        Tell(hWnd, TEXT("An unknown error has occurred\n\nCouldn't remove the port."), TEXT("Error"));
        return TRUE;
    }
    if (!saved) {
        TellUnsaved(hWnd);
        return TRUE;
    }
    WCHAR text[kMessageUnits];
    WideCopy(text, kMessageUnits, TEXT("Port \""));
    WideAppend(text, kMessageUnits, pPortName);
    WideAppend(text, kMessageUnits, TEXT("\" successfully removed."));
    Tell(hWnd, text, TEXT("Port removed"));
    return TRUE;
}
