// The resource loader over the native program's one image. Its string tables
// are laid out as Windows lays out RT_STRING resources: block n holds the
// texts with ids 16(n-1) to 16n-1, each as a length and its units, no NUL.
#include <atomic>
#include <map>
#include <utility>
#include <vector>

#include "layer_internal.h"
#include "resources.h"

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

const int imageAnchor = 0;
HMODULE const kImageModule = reinterpret_cast<HMODULE>(const_cast<int*>(&imageAnchor));

std::atomic<LANGID> userLanguage{kEnglish};
std::atomic<LANGID> systemLanguage{kEnglish};
thread_local LANGID threadLanguage = 0;

struct Block {
    WORD name;
    LANGID language;
    std::vector<WCHAR> data;
};

// Sorted by name, then language, as a resource directory is.
const std::vector<Block>& Blocks() {
    static const std::vector<Block> blocks = [] {
        using win32layer::detail::kImageStrings;
        std::map<std::pair<WORD, LANGID>, std::vector<const WCHAR*>> texts;
        for (size_t i = 0; i < win32layer::detail::kImageStringCount; ++i) {
            auto& slots = texts[{WORD(kImageStrings[i].id / 16 + 1), kImageStrings[i].language}];
            slots.resize(16, nullptr);
            slots[kImageStrings[i].id % 16] = kImageStrings[i].text;
        }
        std::vector<Block> made;
        for (const auto& [key, slots] : texts) {
            Block block{key.first, key.second, {}};
            for (const WCHAR* text : slots) {
                const size_t units = text ? win32layer::detail::Length(text) : 0;
                block.data.push_back(WCHAR(units));
                block.data.insert(block.data.end(), text, text + units);
            }
            made.push_back(std::move(block));
        }
        return made;
    }();
    return blocks;
}

const Block* FindBlock(WORD name, LANGID language) {
    for (const Block& block : Blocks())
        if (block.name == name && block.language == language) return &block;
    return nullptr;
}

// The languages a neutral lookup tries, in order: the thread's UI language,
// the user's, the system's (each also with a neutral sublanguage), neutral,
// then English; failing all, the first language the image has.
std::vector<LANGID> NeutralOrder() {
    std::vector<LANGID> order;
    for (LANGID language : {threadLanguage, userLanguage.load(), systemLanguage.load()}) {
        if (!language) continue;
        order.push_back(language);
        order.push_back(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL));
    }
    order.push_back(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    order.push_back(kEnglish);
    order.push_back(MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL));
    return order;
}

bool IsIntResource(LPCWSTR name) { return reinterpret_cast<ULONG_PTR>(name) >> 16 == 0; }

HRSRC Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

}  // namespace

extern "C" {

BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
    if (!module) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS || !moduleName) {
        *module = kImageModule;
        return TRUE;
    }
    *module = GetModuleHandleW(moduleName);
    return *module != nullptr;
}

HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
    if (module && module != kImageModule) return Fail(ERROR_RESOURCE_DATA_NOT_FOUND);
    if (type != RT_STRING) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    if (!IsIntResource(name)) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    const WORD id = WORD(reinterpret_cast<ULONG_PTR>(name));
    const Block* first = nullptr;
    for (const Block& block : Blocks())
        if (block.name == id && !first) first = &block;
    if (!first) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    if (PRIMARYLANGID(language) != LANG_NEUTRAL) {
        const Block* exact = FindBlock(id, language);
        return exact ? reinterpret_cast<HRSRC>(const_cast<Block*>(exact))
                     : Fail(ERROR_RESOURCE_LANG_NOT_FOUND);
    }
    for (LANGID tried : NeutralOrder())
        if (const Block* block = FindBlock(id, tried))
            return reinterpret_cast<HRSRC>(const_cast<Block*>(block));
    return reinterpret_cast<HRSRC>(const_cast<Block*>(first));
}

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    return FindResourceExW(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<WCHAR*>(reinterpret_cast<const Block*>(resource)->data.data());
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
    return resource ? DWORD(reinterpret_cast<const Block*>(resource)->data.size() * sizeof(WCHAR)) : 0;
}

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (!buffer) return 0;
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
    if (!found) return 0;
    const WCHAR* entry = static_cast<const WCHAR*>(LockResource(LoadResource(instance, found)));
    for (UINT i = 0; i < (id & 15); ++i) entry += *entry + 1;
    // No room at all: the caller gets the read-only text itself, unterminated.
    if (bufferMax == 0) {
        *reinterpret_cast<const WCHAR**>(buffer) = entry + 1;
        return *entry;
    }
    if (bufferMax < 0) return 0;
    const int units = *entry < bufferMax - 1 ? int(*entry) : bufferMax - 1;
    for (int i = 0; i < units; ++i) buffer[i] = entry[1 + i];
    buffer[units] = 0;
    return units;
}

LANGID WINAPI SetThreadUILanguage(LANGID language) {
    threadLanguage = language;
    return language ? language : userLanguage.load();
}

LANGID WINAPI GetThreadUILanguage(void) { return threadLanguage ? threadLanguage : userLanguage.load(); }
LANGID WINAPI GetUserDefaultUILanguage(void) { return userLanguage; }
LANGID WINAPI GetSystemDefaultUILanguage(void) { return systemLanguage; }

}  // extern "C"

namespace win32layer {

void SetUiLanguages(LANGID user, LANGID system) {
    userLanguage = user;
    systemLanguage = system;
}

namespace detail {
void ResetResources() {
    SetUiLanguages(kEnglish, kEnglish);
    threadLanguage = 0;
}
}  // namespace detail
}  // namespace win32layer
