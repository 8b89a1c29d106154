#include "dialog_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

namespace {

thread_local DialogDriver* activeDriver = nullptr;

const UINT kMessageBoxTextId = 0xFFFF;  // the static control holding a message box's text
const DWORD kSettleMs = 400;             // let a dialog paint before its screenshot
const DWORD kScreenshotTimeoutMs = 8000;
const DWORD kSelectTimeoutMs = 5000;

// Text of the folder browser's selected tree item.
std::wstring SelectedItem(HWND tree) {
    if (tree == nullptr) return std::wstring();
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) return std::wstring();
    wchar_t text[MAX_PATH] = {0};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH - 1;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return std::wstring();
    return text;
}

// Whether the tree item's name is the last component of folder (a drive
// root is shown under a label of its own, so it is taken as found).
bool SameFolderName(const std::wstring& item, const std::wstring& folder) {
    std::wstring path = folder;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (path.size() <= 3) return true;
    size_t slash = path.find_last_of(L"\\/");
    std::wstring last = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return lstrcmpiW(item.c_str(), last.c_str()) == 0;
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {0};
    GetClassNameW(window, name, 127);
    return name;
}

struct ChildScan {
    HWND tree = nullptr;
    std::wstring statics;
};

BOOL CALLBACK ScanChild(HWND child, LPARAM param) {
    ChildScan* scan = reinterpret_cast<ChildScan*>(param);
    std::wstring name = ClassOf(child);
    if (lstrcmpiW(name.c_str(), L"SysTreeView32") == 0) scan->tree = child;
    if (lstrcmpiW(name.c_str(), L"Static") == 0) {
        std::wstring text = WindowText(child);
        if (!text.empty()) {
            if (!scan->statics.empty()) scan->statics += L"\n";
            scan->statics += text;
        }
    }
    return TRUE;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileText(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string utf8 = Narrow(text) + "\n";
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

DialogDriver::DialogDriver() {
    activeDriver = this;
    hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
}

DialogDriver::~DialogDriver() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    for (const Pending& pending : pending_) KillTimer(nullptr, pending.timer);
    if (activeDriver == this) activeDriver = nullptr;
}

void DialogDriver::TakeScreenshots(const std::wstring& directory, const std::wstring& prefix) {
    shotDirectory_ = directory;
    shotPrefix_ = prefix;
}

LRESULT CALLBACK DialogDriver::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && activeDriver != nullptr) {
        activeDriver->OnActivate(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogDriver::OnActivate(HWND dialog) {
    // A dialog may be activated more than once; answer it once.
    if (std::find(handled_.begin(), handled_.end(), dialog) != handled_.end()) return;
    if (ClassOf(dialog) != L"#32770") return;
    handled_.push_back(dialog);

    ChildScan scan;
    EnumChildWindows(dialog, ScanChild, reinterpret_cast<LPARAM>(&scan));

    SeenDialog seen;
    seen.caption = WindowText(dialog);
    seen.folderBrowser = scan.tree != nullptr;
    if (seen.folderBrowser) {
        seen.text = scan.statics;
    } else {
        wchar_t text[1024] = {0};
        GetDlgItemTextW(dialog, kMessageBoxTextId, text, 1023);
        seen.text = text;
    }
    seen_.push_back(seen);

    if (!seen.folderBrowser && shotDirectory_.empty()) {
        Answer(dialog, false);
        return;
    }

    Pending pending;
    pending.dialog = dialog;
    pending.tree = scan.tree;
    pending.seenIndex = seen_.size() - 1;
    pending.started = pending.phaseStarted = GetTickCount();
    bool selecting = seen.folderBrowser && !folder_.empty() && !cancelBrowser_;
    pending.phase = selecting ? Pending::kSelect : Pending::kSettle;
    if (!shotDirectory_.empty()) {
        wchar_t name[64];
        _snwprintf(name, 63, L"%ls%02d", shotPrefix_.c_str(), ++shotCount_);
        name[63] = L'\0';
        pending.name = name;
        seen_.back().screenshot = name;
    }
    pending.timer = SetTimer(nullptr, 0, 100, TimerProc);
    if (pending.timer == 0) {
        Answer(dialog, seen.folderBrowser);
        return;
    }
    pending_.push_back(pending);
}

void CALLBACK DialogDriver::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    DialogDriver* self = activeDriver;
    if (self == nullptr) {
        KillTimer(nullptr, id);
        return;
    }
    for (size_t i = 0; i < self->pending_.size(); ++i) {
        if (self->pending_[i].timer != id) continue;
        if (self->Tick(self->pending_[i])) {
            KillTimer(nullptr, id);
            self->pending_.erase(self->pending_.begin() + static_cast<long>(i));
        }
        return;
    }
    KillTimer(nullptr, id);
}

bool DialogDriver::Tick(Pending& pending) {
    DWORD now = GetTickCount();
    bool browser = pending.tree != nullptr;

    if (pending.phase == Pending::kSelect) {
        // The browser may not find a folder on the first attempt (its tree
        // is still being filled); select until the tree shows the folder.
        SendMessageW(pending.dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder_.c_str()));
        std::wstring selected = SelectedItem(pending.tree);
        if (!SameFolderName(selected, folder_) && now - pending.started < kSelectTimeoutMs) return false;
        pending.phase = Pending::kSettle;
        pending.phaseStarted = now;
        // The tree shows its selection only while it has the focus.
        if (!pending.name.empty()) SetFocus(pending.tree);
    }

    if (pending.phase == Pending::kSettle) {
        if (pending.name.empty() || now - pending.phaseStarted >= kSettleMs) {
            if (browser) seen_[pending.seenIndex].selected = SelectedItem(pending.tree);
            if (pending.name.empty()) {
                Answer(pending.dialog, browser);
                return true;
            }
            WriteFileText(shotDirectory_ + L"\\" + pending.name + L".request", WindowText(pending.dialog));
            pending.phase = Pending::kRequested;
            pending.phaseStarted = now;
        }
        return false;
    }

    // kRequested: answer once the screenshot is taken, or give up waiting.
    if (!FileExists(shotDirectory_ + L"\\" + pending.name + L".done") &&
        now - pending.phaseStarted < kScreenshotTimeoutMs)
        return false;
    Answer(pending.dialog, browser);
    return true;
}

void DialogDriver::Answer(HWND dialog, bool folderBrowser) {
    PostMessageW(dialog, WM_COMMAND, folderBrowser && cancelBrowser_ ? IDCANCEL : IDOK, 0);
}
