#include "lean.h"

#include <commctrl.h>
#include <shlobj.h>

// The monitor's dialogs belong to the thread that called AddPortW (Wine
// runs the spooler in the caller's process): a thread CBT hook sees each as
// it is activated, and a timer answers the folder browser once its tree
// shows the wanted folder.
static struct {
    Dialogs* seen;
    const wchar_t* folder;
    HWND handled[8];
    int handledCount;
    HWND browser, tree;
    DWORD started;
} state;

static BOOL CALLBACK ScanChild(HWND child, LPARAM param) {
    Dialogs* seen = (Dialogs*)param;
    wchar_t name[32], text[160];
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, L"SysTreeView32") == 0) state.tree = child;
    if (lstrcmpiW(name, L"Static") == 0 && GetWindowTextW(child, text, 160) > 0) {
        wchar_t* into = seen->text[seen->count];
        if (lstrlenW(into) + lstrlenW(text) < 158) lstrcatW(lstrcatW(into, into[0] ? L"\n" : L""), text);
    }
    return TRUE;
}

// Whether the tree's selected item is the folder's last component.
static BOOL FolderSelected(void) {
    HTREEITEM item = (HTREEITEM)SendMessageW(state.tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    wchar_t text[MAX_PATH] = L"";
    TVITEMW tv = {0};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    if (item == NULL || !SendMessageW(state.tree, TVM_GETITEMW, 0, (LPARAM)&tv)) return FALSE;
    const wchar_t* last = state.folder;
    for (const wchar_t* c = state.folder; *c; ++c)
        if (*c == L'\\' && c[1]) last = c + 1;
    return lstrcmpiW(text, last) == 0;
}

static void CALLBACK Tick(HWND window, UINT message, UINT_PTR id, DWORD now) {
    (void)window, (void)message;
    SendMessageW(state.browser, BFFM_SETSELECTIONW, TRUE, (LPARAM)state.folder);
    if (!FolderSelected() && now - state.started < 5000) return;
    KillTimer(NULL, id);
    PostMessageW(state.browser, WM_COMMAND, IDOK, 0);
}

static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    HWND dialog = (HWND)wParam;
    wchar_t name[16];
    Dialogs* seen = state.seen;
    if (code != HCBT_ACTIVATE || seen->count >= 4 || !GetClassNameW(dialog, name, 16) ||
        lstrcmpW(name, L"#32770") != 0)
        return CallNextHookEx(NULL, code, wParam, lParam);
    for (int i = 0; i < state.handledCount; ++i)
        if (state.handled[i] == dialog) return CallNextHookEx(NULL, code, wParam, lParam);
    if (state.handledCount < 8) state.handled[state.handledCount++] = dialog;

    int at = seen->count;
    GetWindowTextW(dialog, seen->caption[at], 64);
    state.tree = NULL;
    EnumChildWindows(dialog, ScanChild, (LPARAM)seen);
    seen->count = at + 1;
    seen->browser[at] = state.tree != NULL;
    if (seen->browser[at]) {
        state.browser = dialog;
        state.started = GetTickCount();
        SetTimer(NULL, 0, 100, Tick);
    } else {
        GetDlgItemTextW(dialog, 0xFFFF, seen->text[at], 160);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

BOOL AddPortAnswering(HWND owner, const wchar_t* folder, Dialogs* seen) {
    ZeroMemory(seen, sizeof *seen);
    ZeroMemory(&state, sizeof state);
    state.seen = seen;
    state.folder = folder;
    HHOOK hook = SetWindowsHookExW(WH_CBT, Hook, NULL, GetCurrentThreadId());
    SetLastError(0);
    BOOL added = AddPortW(NULL, owner, NORV_MONITOR);
    DWORD error = GetLastError();
    if (hook) UnhookWindowsHookEx(hook);
    SetLastError(error);
    return added;
}
