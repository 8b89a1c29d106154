#include "ports/store_key.h"

namespace {

// The spooler's binding; none means advapi32.
const MONITORREG* spoolerFunctions = nullptr;
HANDLE spoolerRoot = nullptr;
HANDLE spoolerHandle = nullptr;

}  // namespace

bool BindStore(const MONITORREG* functions, HANDLE root, HANDLE spooler) {
    if (functions && functions->fpQueryValue) {
        DWORD bytes = 0;
        const LONG probe = functions->fpQueryValue(root, TEXT("1"), nullptr, nullptr, &bytes, spooler);
        if (probe == ERROR_CALL_NOT_IMPLEMENTED) functions = nullptr;
    } else {
        functions = nullptr;
    }
    spoolerFunctions = functions;
    spoolerRoot = functions ? root : nullptr;
    spoolerHandle = functions ? spooler : nullptr;
    return functions != nullptr;
}

void UnbindStore() {
    spoolerFunctions = nullptr;
    spoolerRoot = nullptr;
    spoolerHandle = nullptr;
}

StoreKey::StoreKey(LPCWSTR root, REGSAM access) {
    if (spoolerFunctions) {
        // The spooler's key stays open for the monitor's session.
        key_ = spoolerRoot;
        status_ = key_ ? LSTATUS(ERROR_SUCCESS) : LSTATUS(ERROR_FILE_NOT_FOUND);
        return;
    }
    HKEY key = nullptr;
    status_ = root ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, root, 0, access, &key)
                   : LSTATUS(ERROR_FILE_NOT_FOUND);
    key_ = status_ == ERROR_SUCCESS ? key : nullptr;
}

StoreKey::~StoreKey() {
    if (key_ && !spoolerFunctions) RegCloseKey(static_cast<HKEY>(key_));
}

LSTATUS StoreKey::Query(LPCWSTR name, LPBYTE data, LPDWORD bytes) const {
    if (spoolerFunctions)
        return spoolerFunctions->fpQueryValue(key_, name, nullptr, data, bytes, spoolerHandle);
    return RegQueryValueExW(static_cast<HKEY>(key_), name, nullptr, nullptr, data, bytes);
}

LSTATUS StoreKey::Set(LPCWSTR name, const BYTE* data, DWORD bytes) const {
    if (spoolerFunctions)
        return spoolerFunctions->fpSetValue(key_, name, REG_SZ, data, bytes, spoolerHandle);
    return RegSetValueExW(static_cast<HKEY>(key_), name, 0, REG_SZ, data, bytes);
}

LSTATUS StoreKey::Delete(LPCWSTR name) const {
    if (spoolerFunctions) return spoolerFunctions->fpDeleteValue(key_, name, spoolerHandle);
    return RegDeleteValueW(static_cast<HKEY>(key_), name);
}
