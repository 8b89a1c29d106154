// The shell's folder browser and task allocator. Tests script what the user
// picks; item lists are real allocator blocks, so a list freed twice, freed
// elsewhere or never freed shows in the counts.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "layer_internal.h"
#include "shell_control.h"

#include <shlobj.h>

namespace win32layer::detail {
void WaitAtGate(Api api);  // spooler.cpp
}  // namespace win32layer::detail

using namespace win32layer;

namespace {

constexpr HRESULT kNoInterface = HRESULT(0x80004002L);  // E_NOINTERFACE
constexpr IID kIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct Answer {
    enum Kind { Folder, NoPath, Cancel } kind;
    std::u16string text;  // the path, or the display name of a folder without one
};

struct Block {
    SIZE_T bytes;
    bool itemList;
};

std::mutex shellMutex;
std::deque<Answer> answers;
std::vector<FolderBrowserCall> browserCalls;
std::vector<AllocatorEvent> events;
long references = 0;
std::map<const void*, Block> blocks;  // everything the task allocator handed out
unsigned misuses = 0;

// An item list: one item holding a kind word and a string, then the empty
// item that ends every list.
constexpr WORD kFileSystemItem = 1;
constexpr WORD kVirtualItem = 2;
struct ItemHeader {
    WORD cb;
    WORD kind;
};

void* AllocateLocked(SIZE_T bytes, bool itemList) {
    void* memory = std::malloc(bytes ? bytes : 1);
    if (memory) blocks[memory] = Block{bytes, itemList};
    return memory;
}

void FreeLocked(void* memory, AllocatorEvent event) {
    events.push_back(event);
    if (!memory) return;
    auto found = blocks.find(memory);
    if (found == blocks.end()) {
        ++misuses;
        return;
    }
    blocks.erase(found);
    std::free(memory);
}

bool IsAllocatorIid(REFIID iid) {
    return std::memcmp(&iid, &kIUnknown, sizeof(IID)) == 0 ||
           std::memcmp(&iid, &kIMalloc, sizeof(IID)) == 0;
}

class TaskAllocator final : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_FAIL;
        if (!IsAllocatorIid(iid)) {
            *object = nullptr;
            return kNoInterface;
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        std::lock_guard<std::mutex> guard(shellMutex);
        events.push_back(AllocatorEvent::AddRef);
        return ULONG(++references);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        std::lock_guard<std::mutex> guard(shellMutex);
        events.push_back(AllocatorEvent::Release);
        if (references == 0) {
            ++misuses;
            return 0;
        }
        return ULONG(--references);
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T bytes) override {
        std::lock_guard<std::mutex> guard(shellMutex);
        return AllocateLocked(bytes, false);
    }
    void* STDMETHODCALLTYPE Realloc(void* memory, SIZE_T bytes) override {
        std::lock_guard<std::mutex> guard(shellMutex);
        if (!memory) return AllocateLocked(bytes, false);
        auto found = blocks.find(memory);
        if (found == blocks.end()) {
            ++misuses;
            return nullptr;
        }
        if (bytes == 0) {
            blocks.erase(found);
            std::free(memory);
            return nullptr;
        }
        Block block = found->second;
        void* moved = std::realloc(memory, bytes);
        if (!moved) return nullptr;
        blocks.erase(found);
        blocks[moved] = Block{bytes, block.itemList};
        return moved;
    }
    void STDMETHODCALLTYPE Free(void* memory) override {
        std::lock_guard<std::mutex> guard(shellMutex);
        FreeLocked(memory, AllocatorEvent::Free);
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void* memory) override {
        std::lock_guard<std::mutex> guard(shellMutex);
        auto found = blocks.find(memory);
        return found == blocks.end() ? SIZE_T(-1) : found->second.bytes;
    }
    int STDMETHODCALLTYPE DidAlloc(void* memory) override {
        std::lock_guard<std::mutex> guard(shellMutex);
        if (!memory) return -1;
        return blocks.count(memory) ? 1 : 0;
    }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

TaskAllocator taskAllocator;

PIDLIST_ABSOLUTE NewItemList(WORD kind, const std::u16string& text) {
    const SIZE_T itemBytes = sizeof(ItemHeader) + (text.size() + 1) * sizeof(WCHAR);
    auto* memory = static_cast<BYTE*>(AllocateLocked(itemBytes + sizeof(WORD), true));
    if (!memory) return nullptr;
    ItemHeader header = {WORD(itemBytes), kind};
    std::memcpy(memory, &header, sizeof(header));
    std::memcpy(memory + sizeof(header), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    const WORD end = 0;
    std::memcpy(memory + itemBytes, &end, sizeof(end));
    return reinterpret_cast<PIDLIST_ABSOLUTE>(memory);
}

// The name the browser shows for a folder: its last component, or for a
// drive root the drive's label.
std::u16string DisplayNameOf(const Answer& answer) {
    if (answer.kind != Answer::Folder) return answer.text;
    std::u16string path = answer.text;
    if (path.size() <= 3 && path.size() >= 2 && path[1] == u':')
        return u"Local Disk (" + path.substr(0, 2) + u")";
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

extern "C" {

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info) {
    FolderBrowserCall call;
    if (info) {
        call.owner = info->hwndOwner;
        call.hasRoot = info->pidlRoot != nullptr;
        call.hasTitle = info->lpszTitle != nullptr;
        if (info->lpszTitle) call.title = info->lpszTitle;
        call.flags = info->ulFlags;
        call.hasCallback = info->lpfn != nullptr;
        call.hasDisplayNameBuffer = info->pszDisplayName != nullptr;
    }
    call.lockHeld = CriticalSectionsHeld() > 0;
    {
        std::lock_guard<std::mutex> guard(shellMutex);
        browserCalls.push_back(call);
    }
    if (!info || detail::ShouldFail(Api::SHBrowseForFolderW)) return nullptr;
    detail::WaitAtGate(Api::SHBrowseForFolderW);

    std::lock_guard<std::mutex> guard(shellMutex);
    if (answers.empty()) return nullptr;
    Answer answer = answers.front();
    answers.pop_front();
    if (answer.kind == Answer::Cancel) return nullptr;

    PIDLIST_ABSOLUTE list =
        NewItemList(answer.kind == Answer::Folder ? kFileSystemItem : kVirtualItem, answer.text);
    if (!list) return nullptr;
    // The browser fills the caller's display-name buffer, taken to hold MAX_PATH units.
    if (info->pszDisplayName) {
        std::u16string name = DisplayNameOf(answer).substr(0, MAX_PATH - 1);
        std::memcpy(info->pszDisplayName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    }
    info->iImage = 3;
    return list;
}

// Fills `path`, taken to hold MAX_PATH units. A folder with no file-system
// path, or one whose path does not fit, gives FALSE and an empty buffer.
BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path) {
    if (!path) return FALSE;
    path[0] = 0;
    if (detail::ShouldFail(Api::SHGetPathFromIDListW) || !list) return FALSE;

    std::lock_guard<std::mutex> guard(shellMutex);
    auto found = blocks.find(list);
    if (found == blocks.end() || !found->second.itemList) {
        ++misuses;
        return FALSE;
    }
    const BYTE* memory = reinterpret_cast<const BYTE*>(list);
    ItemHeader header;
    std::memcpy(&header, memory, sizeof(header));
    if (header.kind != kFileSystemItem) return FALSE;
    std::u16string text(reinterpret_cast<const char16_t*>(memory + sizeof(header)));
    if (text.size() + 1 > MAX_PATH) return FALSE;
    std::memcpy(path, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

HRESULT WINAPI SHGetMalloc(LPMALLOC* allocator) {
    if (!allocator) return E_FAIL;
    DWORD error;
    if (detail::ShouldFail(Api::SHGetMalloc, DWORD(E_FAIL), &error)) {
        *allocator = nullptr;
        return HRESULT(error);
    }
    std::lock_guard<std::mutex> guard(shellMutex);
    events.push_back(AllocatorEvent::GetMalloc);
    ++references;
    *allocator = &taskAllocator;
    return S_OK;
}

void WINAPI CoTaskMemFree(LPVOID memory) {
    std::lock_guard<std::mutex> guard(shellMutex);
    FreeLocked(memory, AllocatorEvent::CoTaskMemFree);
}

}  // extern "C"

namespace win32layer {

void ChooseFolder(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(shellMutex);
    answers.push_back(Answer{Answer::Folder, path});
}

void ChooseFolderWithoutPath(const std::u16string& displayName) {
    std::lock_guard<std::mutex> guard(shellMutex);
    answers.push_back(Answer{Answer::NoPath, displayName});
}

void CancelFolderBrowser() {
    std::lock_guard<std::mutex> guard(shellMutex);
    answers.push_back(Answer{Answer::Cancel, {}});
}

std::vector<FolderBrowserCall> FolderBrowserCalls() {
    std::lock_guard<std::mutex> guard(shellMutex);
    return browserCalls;
}

std::vector<AllocatorEvent> AllocatorEvents() {
    std::lock_guard<std::mutex> guard(shellMutex);
    return events;
}

long AllocatorReferences() {
    std::lock_guard<std::mutex> guard(shellMutex);
    return references;
}

size_t LiveItemLists() {
    std::lock_guard<std::mutex> guard(shellMutex);
    size_t count = 0;
    for (const auto& entry : blocks)
        if (entry.second.itemList) ++count;
    return count;
}

unsigned AllocatorMisuses() {
    std::lock_guard<std::mutex> guard(shellMutex);
    return misuses;
}

namespace detail {
void ResetShell() {
    std::lock_guard<std::mutex> guard(shellMutex);
    answers.clear();
    browserCalls.clear();
    events.clear();
    references = 0;
    misuses = 0;
}
}  // namespace detail
}  // namespace win32layer
