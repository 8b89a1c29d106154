#include "admin/port_dialogs.h"

#include <shlobj.h>

#include "admin/port_name.h"
#include "strings/texts.h"

namespace {

constexpr DWORD kMessageUnits = 512;
constexpr DWORD kCaptionUnits = 128;

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

void Tell(HWND owner, UINT textId, UINT captionId) {
    WCHAR text[kMessageUnits];
    LoadText(textId, text);
    Tell(owner, text, captionId);
}

void Tell(HWND owner, LPCWSTR text, UINT captionId) {
    WCHAR caption[kCaptionUnits];
    LoadText(captionId, caption);
    Tell(owner, text, caption);
}

void TellTaken(HWND owner) { Tell(owner, IDS_TAKEN_TEXT, IDS_TAKEN_CAPTION); }

void TellNotConfigurable(HWND owner) { Tell(owner, IDS_NOT_CONFIGURABLE_TEXT, IDS_CONFIGURE_CAPTION); }

void TellRemoved(HWND owner, LPCWSTR portName) {
    WCHAR text[kMessageUnits];
    FormatText(IDS_REMOVED_TEXT, text, kMessageUnits, portName);
    Tell(owner, text, IDS_REMOVED_CAPTION);
}

void TellNotRemoved(HWND owner) { Tell(owner, IDS_NOT_REMOVED_TEXT, IDS_ERROR); }

void TellInUse(HWND owner, LPCWSTR portName, LPCWSTR printer) {
    WCHAR text[kMessageUnits];
    FormatText(IDS_IN_USE_TEXT, text, kMessageUnits, portName, printer);
    Tell(owner, text, IDS_ERROR);
}

DWORD ChooseFolder(HWND owner, WCHAR (&path)[kPortStringUnits]) {
    WCHAR displayName[kPortStringUnits] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    WCHAR title[kMessageUnits];
    LoadText(IDS_BROWSE_TITLE, title);
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (!list) return ERROR_CANCELLED;

    path[0] = 0;
    if (!SHGetPathFromIDListW(list, path)) path[0] = 0;
    FreeItemList(list);

    DWORD length = WideLength(path);
    if (length == 0) {
        Tell(owner, IDS_NOT_FILE_SYSTEM_TEXT, IDS_NOT_ADDED_CAPTION);
        return ERROR_CANCELLED;
    }
    if (path[length - 1] != '\\') {
        if (length + 1 >= kPortStringUnits) {
            Tell(owner, IDS_PATH_TOO_LONG_TEXT, IDS_NOT_ADDED_CAPTION);
            return ERROR_CANCELLED;
        }
        path[length] = '\\';
        path[length + 1] = 0;
    }
    if (HoldsComma(path)) {
        Tell(owner, IDS_PATH_COMMA_TEXT, IDS_NOT_ADDED_CAPTION);
        return ERROR_INVALID_NAME;
    }
    return ERROR_SUCCESS;
}
