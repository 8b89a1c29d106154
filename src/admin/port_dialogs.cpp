#include "admin/port_dialogs.h"

#include <shlobj.h>

#include "admin/port_name.h"
#include "monitor/state.h"

namespace {

constexpr DWORD kMessageUnits = 512;

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

}  // namespace

void Tell(HWND owner, LPCWSTR text, LPCWSTR caption) { MessageBoxW(owner, text, caption, MB_OK); }

void TellTaken(HWND owner) {
    Tell(owner, TEXT("The port cannot be added, because there\nis another one with the same name."),
         TEXT("Port already exists"));
}

void TellNotConfigurable(HWND owner) {
    Tell(owner, TEXT("This port cannot be configured.\n\nTo change the output-directory, add a new one."),
         kMonitorName);
}

void TellRemoved(HWND owner, LPCWSTR portName) {
    WCHAR text[kMessageUnits];
    WideCopy(text, kMessageUnits, TEXT("Port \""));
    WideAppend(text, kMessageUnits, portName);
    WideAppend(text, kMessageUnits, TEXT("\" successfully removed."));
    Tell(owner, text, TEXT("Port removed"));
}

void TellNotRemoved(HWND owner) {
    Tell(owner, TEXT("An unknown error has occurred\n\nCouldn't remove the port."), TEXT("Error"));
}

void TellInUse(HWND owner, LPCWSTR portName, LPCWSTR printer) {
    WCHAR text[kMessageUnits];
    WideCopy(text, kMessageUnits, TEXT("Port \""));
    WideAppend(text, kMessageUnits, portName);
    WideAppend(text, kMessageUnits, TEXT("\" cannot be removed, because\nthe printer \""));
    WideAppend(text, kMessageUnits, printer);
    WideAppend(text, kMessageUnits, TEXT("\" prints to it.\n\nPlease set the printer to another port first."));
    Tell(owner, text, TEXT("Error"));
}

DWORD ChooseFolder(HWND owner, WCHAR (&path)[kPortStringUnits]) {
    WCHAR displayName[kPortStringUnits] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = TEXT("Please select output-directory:");
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (!list) return ERROR_CANCELLED;

    path[0] = 0;
    if (!SHGetPathFromIDListW(list, path)) path[0] = 0;
    FreeItemList(list);

    DWORD length = WideLength(path);
    if (length == 0) {
        Tell(owner,
             TEXT("The selected folder is not a folder of the file system.\n\nPlease select "
                  "a folder on a drive."),
             TEXT("Port not added"));
        return ERROR_CANCELLED;
    }
    if (path[length - 1] != '\\') {
        if (length + 1 >= kPortStringUnits) {
            Tell(owner,
                 TEXT("The path of the selected folder is too long for a port.\n\nPlease "
                      "select a folder with a shorter path."),
                 TEXT("Port not added"));
            return ERROR_CANCELLED;
        }
        path[length] = '\\';
        path[length + 1] = 0;
    }
    if (HoldsComma(path)) {
        Tell(owner,
             TEXT("The path of the selected folder contains a comma, which a port name cannot "
                  "contain.\n\nPlease select a folder without a comma in its path."),
             TEXT("Port not added"));
        return ERROR_INVALID_NAME;
    }
    return ERROR_SUCCESS;
}
