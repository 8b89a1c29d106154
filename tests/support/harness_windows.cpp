// The harness over real Win32: the monitor DLL is loaded with LoadLibraryW
// (so the loader calls DllMain), the machine is the real registry and the
// temp path is steered through the TMP variable, which GetTempPathW reads.
#include "harness.h"

#include <windows.h>
#include <psapi.h>

namespace harness {
namespace {

const wchar_t kTestBase[] = L"SOFTWARE\\Norvale Conformance";

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

HKEY CreateKeyFor(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

}  // namespace

// A key of the tests' own, so that an installed monitor's list is not touched.
const std::u16string kRoot = u"SOFTWARE\\Norvale Conformance\\NORV Monitor";

std::string U8(const std::u16string& s) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, Wide(s), int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Wide(s), int(s.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::u16string DefaultTempPath() { return u"C:\\WINDOWS\\TEMP\\"; }

void SetTempPath(const std::u16string& path) { SetEnvironmentVariableW(L"TMP", Wide(path)); }

void ResetMachine() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestBase);
    SetTempPath(DefaultTempPath());
}

void CreateKey(const std::u16string& path) {
    HKEY key = CreateKeyFor(path);
    if (key) RegCloseKey(key);
}

void DeleteKey(const std::u16string& path) { RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(path)); }

void StoreValue(const std::u16string& path, const std::u16string& name, DWORD type,
                const void* data, size_t bytes) {
    HKEY key = CreateKeyFor(path);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(RegSetValueExW(key, Wide(name), 0, type, static_cast<const BYTE*>(data), DWORD(bytes)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void StoreString(const std::u16string& path, const std::u16string& name,
                 const std::u16string& value, bool terminate) {
    // RegSetValueExW counts a forgotten terminator in when one follows the
    // data in memory; a stray unit after the string keeps it unterminated.
    std::u16string data = value + (terminate ? u'\0' : u'#');
    StoreValue(path, name, REG_SZ, data.c_str(), (value.size() + (terminate ? 1 : 0)) * 2);
}

std::vector<std::pair<std::u16string, std::u16string>> StoredValues(const std::u16string& path) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameUnits = 256;
        BYTE data[2048] = {};
        DWORD bytes = sizeof(data) - 2;
        if (RegEnumValueW(key, i, name, &nameUnits, nullptr, nullptr, data, &bytes) != ERROR_SUCCESS)
            break;
        out.emplace_back(std::u16string(reinterpret_cast<char16_t*>(name), nameUnits),
                         std::u16string(reinterpret_cast<char16_t*>(data)));
    }
    RegCloseKey(key);
    return out;
}

bool HasValue(const std::u16string& path, const std::u16string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool found = RegQueryValueExW(key, Wide(name), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

std::u16string NewFolder() {
    static unsigned count = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    _snwprintf(name, 63, L"norv-folder-%lu-%u\\", GetCurrentProcessId(), ++count);
    name[63] = 0;
    std::wstring path = std::wstring(temp) + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return std::u16string(reinterpret_cast<const char16_t*>(path.c_str()));
}

void MakeFolder(const std::u16string& path) { CreateDirectoryW(Wide(path), nullptr); }

void MakeFile(const std::u16string& path) {
    HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

bool SupportsFaults() { return false; }

Resources ProcessResources() {
    Resources resources;
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    resources.handles = handles;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters)))
        resources.memory = counters.PrivateUsage;
    return resources;
}

Monitor::~Monitor() {
    if (attached_) Detach();
}

void Monitor::Attach() {
    HMODULE module = LoadLibraryW(L"norvmon.dll");
    ASSERT_NE(module, nullptr) << "norvmon.dll not found beside the test, error " << GetLastError();
    module_ = module;
    attached_ = true;
}

LPMONITOREX Monitor::Initialize(const std::u16string& root) {
    typedef LPMONITOREX(WINAPI * InitializeProc)(LPWSTR);
    auto proc = reinterpret_cast<InitializeProc>(reinterpret_cast<void (*)()>(
        GetProcAddress(static_cast<HMODULE>(module_), "InitializePrintMonitor")));
    EXPECT_NE(proc, nullptr);
    table_ = proc ? proc(W(root)) : nullptr;
    return table_;
}

void Monitor::Detach() {
    FreeLibrary(static_cast<HMODULE>(module_));
    attached_ = false;
    table_ = nullptr;
}

}  // namespace harness
