// Answers the dialogs that the monitor shows on the calling thread, the way
// a user would: a thread-local WH_CBT hook sees each dialog as it is about
// to be activated, records its caption and text, picks a folder in the
// shell's folder browser and presses OK (or Cancel).
//
// The monitor runs in the process that calls the spooler (Wine has no
// separate spooler process), so its message boxes and folder browser belong
// to the thread that called AddPortW, ConfigurePortW or DeletePortW.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenDialog {
    std::wstring caption;
    std::wstring text;       // a message box's text, or the folder browser's title
    bool folderBrowser = false;
    std::wstring selected;   // the folder browser's selected item when answered
    std::wstring screenshot; // base name of the screenshot taken, if any
};

class DialogDriver {
public:
    DialogDriver();
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Folder the folder browser selects before OK is pressed. Use a C: path:
    // Wine's browser may turn folders on its Z: drive into other paths.
    void ChooseFolder(const std::wstring& folder) { folder_ = folder; }
    // Press Cancel in the folder browser instead of OK.
    void CancelFolderBrowser(bool cancel) { cancelBrowser_ = cancel; }
    // Before answering each dialog, ask for a screenshot of the screen: the
    // driver writes <directory>\<name>.request (holding the dialog's
    // caption), waits up to a few seconds for <directory>\<name>.done, which
    // a watcher outside Wine creates once it has saved <name>.png.
    void TakeScreenshots(const std::wstring& directory, const std::wstring& prefix);

    const std::vector<SeenDialog>& Seen() const { return seen_; }
    void Clear() { seen_.clear(); }

private:
    // A dialog answered from a timer: the folder browser (its selection is
    // set and checked first) and every dialog that gets a screenshot.
    struct Pending {
        enum Phase { kSelect, kSettle, kRequested };
        UINT_PTR timer = 0;
        HWND dialog = nullptr;
        HWND tree = nullptr;  // the folder browser's tree, if any
        size_t seenIndex = 0;
        std::wstring name;    // screenshot base name
        Phase phase = kSelect;
        DWORD started = 0;
        DWORD phaseStarted = 0;
    };

    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
    void OnActivate(HWND dialog);
    bool Tick(Pending& pending);  // true once the dialog has been answered
    void Answer(HWND dialog, bool folderBrowser);

    HHOOK hook_ = nullptr;
    std::wstring folder_;
    bool cancelBrowser_ = false;
    std::wstring shotDirectory_;
    std::wstring shotPrefix_;
    int shotCount_ = 0;
    std::vector<HWND> handled_;
    std::vector<SeenDialog> seen_;
    std::vector<Pending> pending_;
};
