#include "ports/store_values.h"

LSTATUS ReadStoredName(const StoreKey& key, DWORD n, WCHAR (&name)[kPortStringUnits],
                       bool* inSavedForm) {
    DWORD bytes = sizeof(name);
    LSTATUS status = key.Query(ValueName(n).text, reinterpret_cast<LPBYTE>(name), &bytes);
    if (status != ERROR_SUCCESS) return status;
    // The stored string need not carry its terminator.
    DWORD units = bytes / sizeof(WCHAR);
    if (inSavedForm)
        *inSavedForm = bytes % sizeof(WCHAR) == 0 && units > 0 && name[units - 1] == 0 &&
                       WideLength(name) == units - 1;
    name[units < kPortStringUnits ? units : kPortStringUnits - 1] = 0;
    return status;
}

bool EndsNumbering(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA;
}

LSTATUS WriteName(const StoreKey& key, DWORD n, const PortList* list, const PortRecord* record) {
    return key.Set(ValueName(n).text, reinterpret_cast<const BYTE*>(list->DisplayName(record)),
                   (record->nameUnits + 1) * sizeof(WCHAR));
}

LSTATUS DeleteFrom(const StoreKey& key, DWORD first) {
    for (DWORD n = first;; ++n) {
        const LSTATUS status = key.Delete(ValueName(n).text);
        if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
    }
}
