// The registry as an in-memory tree under HKEY_LOCAL_MACHINE, with the access
// checks and return codes of the Windows registry calls.
#include <algorithm>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "layer_internal.h"

using namespace win32layer;
using win32layer::detail::Lower;
using win32layer::detail::ShouldFail;

namespace {

// Values in creation order, found by their lower-case name without a walk:
// a key may hold thousands of values, and each call finds one.
struct Key {
    std::list<RegistryValue> values;
    std::unordered_map<std::u16string, std::list<RegistryValue>::iterator> byName;

    RegistryValue* Find(LPCWSTR name) {
        auto found = byName.find(Lower(name ? name : u""));
        return found == byName.end() ? nullptr : &*found->second;
    }
    // The value named `name`, made (empty, at the end) if there is none.
    RegistryValue& FindOrAdd(const std::u16string& name) {
        auto slot = byName.emplace(Lower(name), values.end());
        if (slot.second) slot.first->second = values.insert(values.end(), RegistryValue{name, REG_NONE, {}});
        return *slot.first->second;
    }
    bool Erase(LPCWSTR name) {
        auto found = byName.find(Lower(name ? name : u""));
        if (found == byName.end()) return false;
        values.erase(found->second);
        byName.erase(found);
        return true;
    }
};

struct OpenKey {
    std::u16string path;  // lower case, no leading or trailing backslash
    REGSAM access;
};

std::mutex registryMutex;
std::map<std::u16string, Key> keys;  // by lower-case path; "" is HKEY_LOCAL_MACHINE
std::set<OpenKey*> openKeys;
unsigned changes = 0;
// A crash after a set number of changes: none after them reaches the registry.
bool freezing = false;
unsigned changesLeft = 0;

// Called with the registry locked before a value is changed.
bool Frozen() {
    if (!freezing) return false;
    if (changesLeft == 0) return true;
    --changesLeft;
    return false;
}

std::u16string Normalize(const std::u16string& path) {
    std::u16string out = Lower(path);
    while (!out.empty() && out.front() == u'\\') out.erase(out.begin());
    while (!out.empty() && out.back() == u'\\') out.pop_back();
    return out;
}

std::u16string Join(const std::u16string& parent, LPCWSTR child) {
    std::u16string sub = child ? Normalize(child) : std::u16string();
    if (parent.empty()) return sub;
    if (sub.empty()) return parent;
    return parent + u'\\' + sub;
}

// The key's path for a handle, or false when the handle is not one of ours.
bool Resolve(HKEY handle, std::u16string* path, REGSAM* access) {
    if (handle == HKEY_LOCAL_MACHINE) {
        *path = u"";
        *access = KEY_READ | KEY_WRITE;
        return true;
    }
    auto* open = reinterpret_cast<OpenKey*>(handle);
    if (!openKeys.count(open)) return false;
    *path = open->path;
    *access = open->access;
    return true;
}

void CreateKeyLocked(const std::u16string& path) {
    // A key's parents exist too.
    std::u16string normalized = Normalize(path);
    keys[u""];
    for (size_t i = 0; i <= normalized.size(); ++i)
        if (i == normalized.size() || normalized[i] == u'\\') keys[normalized.substr(0, i)];
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
    DWORD error;
    if (ShouldFail(Api::RegOpenKeyExW, ERROR_ACCESS_DENIED, &error)) return LSTATUS(error);
    if (!result) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(registryMutex);
    std::u16string parentPath;
    REGSAM parentAccess;
    if (!Resolve(parent, &parentPath, &parentAccess)) return ERROR_INVALID_HANDLE;
    std::u16string path = Join(parentPath, subKey);
    if (!path.empty() && !keys.count(path)) return ERROR_FILE_NOT_FOUND;
    auto* open = new OpenKey{path, access};
    openKeys.insert(open);
    *result = reinterpret_cast<HKEY>(open);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY handle, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD dataBytes) {
    DWORD error;
    if (ShouldFail(Api::RegQueryValueExW, ERROR_ACCESS_DENIED, &error)) return LSTATUS(error);
    std::lock_guard<std::mutex> guard(registryMutex);
    std::u16string path;
    REGSAM access;
    if (!Resolve(handle, &path, &access)) return ERROR_INVALID_HANDLE;
    if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !dataBytes) return ERROR_INVALID_PARAMETER;
    RegistryValue* value = keys[path].Find(name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    DWORD size = DWORD(value->data.size());
    if (!data) {
        if (dataBytes) *dataBytes = size;
        return ERROR_SUCCESS;
    }
    if (*dataBytes < size) {
        *dataBytes = size;
        return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, value->data.data(), size);
    *dataBytes = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY handle, LPCWSTR name, DWORD, DWORD type, const BYTE* data,
                              DWORD dataBytes) {
    DWORD error;
    if (ShouldFail(Api::RegSetValueExW, ERROR_ACCESS_DENIED, &error)) return LSTATUS(error);
    std::lock_guard<std::mutex> guard(registryMutex);
    std::u16string path;
    REGSAM access;
    if (!Resolve(handle, &path, &access)) return ERROR_INVALID_HANDLE;
    if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!data && dataBytes) return ERROR_INVALID_PARAMETER;
    // As on Windows, a string whose count leaves out the terminator that
    // follows it in memory is stored with that terminator.
    if (data && dataBytes >= sizeof(WCHAR) &&
        (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
        auto* units = reinterpret_cast<const WCHAR*>(data);
        size_t count = dataBytes / sizeof(WCHAR);
        if (units[count - 1] && !units[count]) dataBytes += sizeof(WCHAR);
    }
    if (Frozen()) return ERROR_ACCESS_DENIED;
    RegistryValue& value = keys[path].FindOrAdd(name ? name : u"");
    value.type = type;
    value.data.assign(data, data + dataBytes);
    ++changes;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueW(HKEY handle, LPCWSTR name) {
    DWORD error;
    if (ShouldFail(Api::RegDeleteValueW, ERROR_ACCESS_DENIED, &error)) return LSTATUS(error);
    std::lock_guard<std::mutex> guard(registryMutex);
    std::u16string path;
    REGSAM access;
    if (!Resolve(handle, &path, &access)) return ERROR_INVALID_HANDLE;
    if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!keys[path].Find(name)) return ERROR_FILE_NOT_FOUND;
    if (Frozen()) return ERROR_ACCESS_DENIED;
    keys[path].Erase(name);
    ++changes;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY handle) {
    // An injected failure still closes the key: only the answer is wrong.
    DWORD error;
    bool fail = ShouldFail(Api::RegCloseKey, ERROR_INVALID_HANDLE, &error);
    if (handle == HKEY_LOCAL_MACHINE) return fail ? LSTATUS(error) : ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(registryMutex);
    auto* open = reinterpret_cast<OpenKey*>(handle);
    if (!openKeys.erase(open)) return ERROR_INVALID_HANDLE;
    delete open;
    return fail ? LSTATUS(error) : ERROR_SUCCESS;
}

}  // extern "C"

namespace win32layer {

std::u16string RegistryValue::AsString() const {
    std::u16string out;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t unit = char16_t(data[i] | (data[i + 1] << 8));
        if (!unit) break;
        out += unit;
    }
    return out;
}

void RegistryCreateKey(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(registryMutex);
    CreateKeyLocked(path);
}

bool RegistryKeyExists(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(registryMutex);
    return keys.count(Normalize(path)) != 0;
}

void RegistryDeleteKey(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(registryMutex);
    std::u16string normalized = Normalize(path);
    for (auto it = keys.begin(); it != keys.end();) {
        bool inside = it->first == normalized ||
                      (it->first.size() > normalized.size() &&
                       it->first.compare(0, normalized.size(), normalized) == 0 &&
                       it->first[normalized.size()] == u'\\');
        it = inside ? keys.erase(it) : std::next(it);
    }
}

void RegistrySetValue(const std::u16string& path, const std::u16string& name, DWORD type,
                      const void* data, size_t bytes) {
    std::lock_guard<std::mutex> guard(registryMutex);
    CreateKeyLocked(path);
    RegistryValue& value = keys[Normalize(path)].FindOrAdd(name);
    value.type = type;
    auto* bytesIn = static_cast<const uint8_t*>(data);
    value.data.assign(bytesIn, bytesIn + bytes);
}

void RegistrySetString(const std::u16string& path, const std::u16string& name,
                       const std::u16string& value, bool terminate) {
    std::vector<uint8_t> bytes;
    for (char16_t unit : value) {
        bytes.push_back(uint8_t(unit & 0xFF));
        bytes.push_back(uint8_t(unit >> 8));
    }
    if (terminate) bytes.insert(bytes.end(), {0, 0});
    RegistrySetValue(path, name, REG_SZ, bytes.data(), bytes.size());
}

std::vector<RegistryValue> RegistryValues(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(registryMutex);
    auto found = keys.find(Normalize(path));
    if (found == keys.end()) return {};
    return std::vector<RegistryValue>(found->second.values.begin(), found->second.values.end());
}

std::optional<RegistryValue> RegistryGetValue(const std::u16string& path,
                                              const std::u16string& name) {
    std::lock_guard<std::mutex> guard(registryMutex);
    auto found = keys.find(Normalize(path));
    if (found == keys.end()) return std::nullopt;
    RegistryValue* value = found->second.Find(name.c_str());
    if (!value) return std::nullopt;
    return *value;
}

void FreezeRegistryAfter(unsigned writes) {
    std::lock_guard<std::mutex> guard(registryMutex);
    freezing = true;
    changesLeft = writes;
}

unsigned RegistryChangeCount() {
    std::lock_guard<std::mutex> guard(registryMutex);
    return changes;
}

size_t OpenKeyCount() {
    std::lock_guard<std::mutex> guard(registryMutex);
    return openKeys.size();
}

namespace detail {

void ThawRegistry() {
    std::lock_guard<std::mutex> guard(registryMutex);
    freezing = false;
}

void ResetRegistry() {
    std::lock_guard<std::mutex> guard(registryMutex);
    for (OpenKey* open : openKeys) delete open;
    openKeys.clear();
    keys.clear();
    changes = 0;
    freezing = false;
}

}  // namespace detail
}  // namespace win32layer
