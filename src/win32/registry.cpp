// The registry as an in-memory tree under HKEY_LOCAL_MACHINE, with the access
// checks and return codes of the Windows registry calls.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "layer_internal.h"

using namespace win32layer;
using win32layer::detail::Lower;
using win32layer::detail::ShouldFail;

namespace {

struct Key {
    std::vector<RegistryValue> values;  // in creation order
};

struct OpenKey {
    std::u16string path;  // lower case, no leading or trailing backslash
    REGSAM access;
};

std::mutex registryMutex;
std::map<std::u16string, Key> keys;  // by lower-case path; "" is HKEY_LOCAL_MACHINE
std::set<OpenKey*> openKeys;
unsigned changes = 0;

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

RegistryValue* FindValue(Key& key, LPCWSTR name) {
    std::u16string wanted = Lower(name ? name : u"");
    for (auto& value : key.values)
        if (Lower(value.name) == wanted) return &value;
    return nullptr;
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
    RegistryValue* value = FindValue(keys[path], name);
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
    Key& key = keys[path];
    RegistryValue* value = FindValue(key, name);
    if (!value) {
        key.values.push_back(RegistryValue{name ? name : u"", type, {}});
        value = &key.values.back();
    }
    value->type = type;
    value->data.assign(data, data + dataBytes);
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
    Key& key = keys[path];
    RegistryValue* value = FindValue(key, name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    key.values.erase(key.values.begin() + (value - key.values.data()));
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
    Key& key = keys[Normalize(path)];
    RegistryValue* value = FindValue(key, name.c_str());
    if (!value) {
        key.values.push_back(RegistryValue{name, type, {}});
        value = &key.values.back();
    }
    value->type = type;
    auto* bytesIn = static_cast<const uint8_t*>(data);
    value->data.assign(bytesIn, bytesIn + bytes);
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
    return found == keys.end() ? std::vector<RegistryValue>() : found->second.values;
}

std::optional<RegistryValue> RegistryGetValue(const std::u16string& path,
                                              const std::u16string& name) {
    std::lock_guard<std::mutex> guard(registryMutex);
    auto found = keys.find(Normalize(path));
    if (found == keys.end()) return std::nullopt;
    RegistryValue* value = FindValue(found->second, name.c_str());
    if (!value) return std::nullopt;
    return *value;
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

void ResetRegistry() {
    std::lock_guard<std::mutex> guard(registryMutex);
    for (OpenKey* open : openKeys) delete open;
    openKeys.clear();
    keys.clear();
    changes = 0;
}

}  // namespace detail
}  // namespace win32layer
