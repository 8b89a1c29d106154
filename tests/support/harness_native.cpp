// The harness over our own Win32 layer: the module is linked in and its
// entry points are called directly.
#include "harness.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "control.h"
#include "files_control.h"
#include "monitor/exports.h"

namespace harness {

const std::u16string kRoot = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";

std::string U8(const std::u16string& s) { return win32layer::U8(s); }

void ResetMachine() { win32layer::Reset(); }
void SetTempPath(const std::u16string& path) { win32layer::SetTempPath(path); }
std::u16string DefaultTempPath() { return u"C:\\WINDOWS\\TEMP\\"; }
void CreateKey(const std::u16string& path) { win32layer::RegistryCreateKey(path); }
void DeleteKey(const std::u16string& path) { win32layer::RegistryDeleteKey(path); }

void StoreString(const std::u16string& path, const std::u16string& name,
                 const std::u16string& value, bool terminate) {
    win32layer::RegistrySetString(path, name, value, terminate);
}

void StoreValue(const std::u16string& path, const std::u16string& name, DWORD type,
                const void* data, size_t bytes) {
    win32layer::RegistrySetValue(path, name, type, data, bytes);
}

std::vector<std::pair<std::u16string, std::u16string>> StoredValues(const std::u16string& path) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (const auto& value : win32layer::RegistryValues(path))
        out.emplace_back(value.name, value.AsString());
    return out;
}

bool HasValue(const std::u16string& path, const std::u16string& name) {
    return win32layer::RegistryGetValue(path, name).has_value();
}

namespace {
// Native directories made for NewFolder, removed when the tests end.
struct Scratch {
    ~Scratch() {
        for (const auto& dir : dirs) std::filesystem::remove_all(dir);
    }
    std::vector<std::string> dirs;
} scratch;
}  // namespace

std::u16string NewFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "norv-folder-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) return u"";
    scratch.dirs.push_back(pattern);
    win32layer::MapDrive(u'T', pattern);
    return u"T:\\";
}

void MakeFolder(const std::u16string& path) {
    std::filesystem::create_directories(win32layer::NativePath(path));
}

void MakeFile(const std::u16string& path) { std::ofstream(win32layer::NativePath(path)) << "x"; }

bool SupportsFaults() { return true; }

Resources ProcessResources() {
    return Resources{win32layer::OpenHandleCount() + win32layer::OpenKeyCount(),
                     win32layer::LiveHeapBlocks()};
}

Monitor::~Monitor() {
    if (attached_) Detach();
}

void Monitor::Attach() {
    module_ = reinterpret_cast<void*>(0x10000000);
    DllMain(static_cast<HINSTANCE>(module_), DLL_PROCESS_ATTACH, nullptr);
    attached_ = true;
}

LPMONITOREX Monitor::Initialize(const std::u16string& root) {
    table_ = InitializePrintMonitor(W(root));
    return table_;
}

void Monitor::Detach() {
    DllMain(static_cast<HINSTANCE>(module_), DLL_PROCESS_DETACH, nullptr);
    attached_ = false;
    table_ = nullptr;
}

}  // namespace harness
