// Deleting one port's value: the shift of the values above it, and its
// write-back when the shift fails.
#include "ports/store_values.h"
#include "ports/store_writes.h"

// The write-back goes from the top down: each write again overwrites a port
// that is stored above it too.
LSTATUS ShiftOut(const StoreKey& key, const PortList* list, const PortRecord* record,
                 bool* restored) {
    DWORD above = 0;
    for (const PortRecord* r = record->previous; r; r = r->previous) ++above;
    const DWORD count = list->Count();
    const DWORD first = count - above;  // the record's value
    DWORD n = first;
    const PortRecord* moved = nullptr;  // the last record written one lower
    LSTATUS status = ERROR_SUCCESS;
    for (const PortRecord* r = record->previous; r && status == ERROR_SUCCESS; r = r->previous) {
        status = WriteName(key, n, list, r);
        if (status == ERROR_SUCCESS) {
            moved = r;
            ++n;
        }
    }
    if (status == ERROR_SUCCESS) status = key.Delete(ValueName(count).text);
    if (status == ERROR_SUCCESS) return status;
    *restored = true;
    for (; moved && moved != record; moved = moved->next) {
        if (WriteName(key, --n, list, moved->next) != ERROR_SUCCESS) {
            *restored = false;
            break;
        }
    }
    return status;
}
