// The whole rewrite: every listed port from value 1 upwards, then the values
// past the list deleted.
#include "ports/port_store.h"

#include "ports/store_values.h"
#include "ports/store_writes.h"

LSTATUS WriteAll(const StoreKey& key, const PortList* list, const PortRecord* skip) {
    const PortRecord* tail = list->head;
    while (tail->next) tail = tail->next;  // the sentinel
    DWORD n = 0;
    for (const PortRecord* record = tail->previous; record; record = record->previous) {
        if (record == skip) continue;
        const LSTATUS status = WriteName(key, ++n, list, record);
        if (status != ERROR_SUCCESS) return status;
    }
    return DeleteFrom(key, n + 1);
}

LSTATUS SaveAll(PortList* list, LPCWSTR root, const PortRecord* skip) {
    StoreKey key(root, KEY_READ | KEY_SET_VALUE);
    const LSTATUS status = key ? WriteAll(key, list, skip) : key.status();
    list->storeMirrorsList = status == ERROR_SUCCESS;
    return status;
}

LSTATUS SavePorts(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    return SaveAll(list, root, nullptr);
}
