#include "dialog_driver.h"

#include <shlobj.h>

#include <algorithm>

namespace {

thread_local DialogDriver* activeDriver = nullptr;

const UINT kMessageBoxTextId = 0xFFFF;  // the static control holding a message box's text
const DWORD kSettleMs = 400;             // let a dialog paint before its screenshot
const DWORD kScreenshotTimeoutMs = 8000;

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
    bool tree = false;
    std::wstring statics;
};

BOOL CALLBACK ScanChild(HWND child, LPARAM param) {
    ChildScan* scan = reinterpret_cast<ChildScan*>(param);
    std::wstring name = ClassOf(child);
    if (lstrcmpiW(name.c_str(), L"SysTreeView32") == 0) scan->tree = true;
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
    seen.folderBrowser = scan.tree;
    if (scan.tree) {
        seen.text = scan.statics;
    } else {
        wchar_t text[1024] = {0};
        GetDlgItemTextW(dialog, kMessageBoxTextId, text, 1023);
        seen.text = text;
    }

    if (shotDirectory_.empty()) {
        seen_.push_back(seen);
        Answer(dialog, scan.tree);
        return;
    }

    // Screenshots: select the folder now, let the dialog paint, ask the
    // watcher for a picture, and answer once it is taken.
    if (scan.tree && !folder_.empty() && !cancelBrowser_) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder_.c_str()));
    }
    wchar_t name[64];
    _snwprintf(name, 63, L"%ls%02d", shotPrefix_.c_str(), ++shotCount_);
    name[63] = L'\0';
    seen.screenshot = name;
    seen_.push_back(seen);
    Pending pending;
    pending.timer = SetTimer(nullptr, 0, 100, TimerProc);
    pending.dialog = dialog;
    pending.folderBrowser = scan.tree;
    pending.name = name;
    pending.started = GetTickCount();
    pending.requested = false;
    if (pending.timer == 0) {
        Answer(dialog, scan.tree);
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
        Pending& pending = self->pending_[i];
        if (pending.timer != id) continue;
        DWORD elapsed = GetTickCount() - pending.started;
        std::wstring base = self->shotDirectory_ + L"\\" + pending.name;
        if (!pending.requested) {
            if (elapsed < kSettleMs) return;
            WriteFileText(base + L".request", WindowText(pending.dialog));
            pending.requested = true;
            return;
        }
        if (!FileExists(base + L".done") && elapsed < kSettleMs + kScreenshotTimeoutMs) return;
        KillTimer(nullptr, id);
        HWND dialog = pending.dialog;
        bool browser = pending.folderBrowser;
        self->pending_.erase(self->pending_.begin() + static_cast<long>(i));
        self->Answer(dialog, browser);
        return;
    }
    KillTimer(nullptr, id);
}

void DialogDriver::Answer(HWND dialog, bool folderBrowser) {
    if (folderBrowser && cancelBrowser_) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (folderBrowser && !folder_.empty() && shotDirectory_.empty()) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder_.c_str()));
    }
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}
