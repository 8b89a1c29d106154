#include "ports/port_store.h"

namespace {

// A registry key opened for the span of one load or save.
class RegistryKey {
public:
    RegistryKey(LPCWSTR root, REGSAM access) {
        status_ = root ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, root, 0, access, &key_)
                       : LSTATUS(ERROR_FILE_NOT_FOUND);
        if (status_ != ERROR_SUCCESS) key_ = nullptr;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }
    LSTATUS status() const { return status_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_ = ERROR_SUCCESS;
};

// Value names are decimal numbers: at most 10 digits and a terminator.
struct ValueName {
    explicit ValueName(DWORD n) { FormatDecimal(n, text); }
    WCHAR text[11];
};

}  // namespace

bool LoadPorts(PortList* list, LPCWSTR root) {
    if (!list) return false;
    RegistryKey key(root, KEY_QUERY_VALUE);
    if (!key) return key.status() == ERROR_FILE_NOT_FOUND;
    bool complete = true;
    for (DWORD i = 1;; ++i) {
        WCHAR name[kPortStringUnits];
        DWORD bytes = sizeof(name);
        LSTATUS status = RegQueryValueExW(key.get(), ValueName(i).text, nullptr, nullptr,
                                          reinterpret_cast<LPBYTE>(name), &bytes);
        // The numbering ends at a missing value or one too long for a port;
        // any other failure leaves stored ports unread.
        if (status != ERROR_SUCCESS)
            return complete && (status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA);
        // The stored string need not carry its terminator.
        DWORD units = bytes / sizeof(WCHAR);
        name[units < kPortStringUnits ? units : kPortStringUnits - 1] = 0;
        // An empty name is no port: skip it and read on.
        if (!name[0]) continue;
        const bool isDefault = WideEqualNoCase(name, list->defaultPortName);
        if (!list->Insert(isDefault ? nullptr : name, isDefault)) complete = false;
    }
}

void SavePorts(PortList* list, LPCWSTR root) {
    if (!list) return;
    RegistryKey key(root, KEY_READ | KEY_SET_VALUE);
    if (!key) return;
    // Values are written from 1 upwards and deleted only after all were
    // written. Deleting a port moves the ones stored above it down by one and
    // adding one appends it, so each value is overwritten only once its old
    // port is safely stored below it: stopping at the first failed write
    // leaves every listed port stored (some twice), never lost.
    const DWORD count = list->Count();
    for (DWORD n = 1; n <= count; ++n) {
        const PortRecord* record = list->head;
        for (DWORD skip = count - n; skip > 0; --skip) record = record->next;
        LPCWSTR name = list->DisplayName(record);
        if (RegSetValueExW(key.get(), ValueName(n).text, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(name),
                           (WideLength(name) + 1) * sizeof(WCHAR)) != ERROR_SUCCESS)
            return;
    }
    for (DWORD i = count + 1;; ++i)
        if (RegDeleteValueW(key.get(), ValueName(i).text) != ERROR_SUCCESS) break;
}
