// One change of the list, stored. The matching rule: while the store mirrors
// the list value for value (PortList::storeMirrorsList), a change is made in
// place, writing only the values it moves; otherwise the list is written
// whole. A change the store refuses is taken back out of the list, and the
// store brought back to the list without it.
#include "ports/port_store.h"

#include "ports/store_writes.h"

namespace {

// What becomes of a change the store refused: taken back out of the list, or
// kept listed all the same.
enum class IfRefused { TakenBack, Kept };

// Stores one port's change: `added`, the head just put in front, or
// `removed`, a record to be taken out (its unlinking is the caller's, once
// stored); the other one is null. ERROR_SUCCESS, and the store mirrors the
// list with the change; or the registry's code. A refused change taken back
// leaves the store mirroring the list without it: nothing written in place
// stays (an append writes its one value last, a shift writes back what it
// moved), and a whole rewrite is done again without it. When a shift's
// write-back fails, the next change writes the store whole.
LSTATUS StoreChange(PortList* list, LPCWSTR root, const PortRecord* added,
                    const PortRecord* removed, IfRefused ifRefused) {
    const bool inPlace = list->storeMirrorsList;
    bool restored = true;
    LSTATUS status;
    {
        StoreKey key(root, KEY_READ | KEY_SET_VALUE);
        if (!key) status = key.status();
        else if (!inPlace) status = WriteAll(key, list, removed);
        else if (added) status = AppendHead(key, list);
        else status = ShiftOut(key, list, removed, &restored);
    }
    if (status == ERROR_SUCCESS || ifRefused == IfRefused::Kept) {
        list->storeMirrorsList = status == ERROR_SUCCESS;
        return status;
    }
    if (!inPlace) SaveAll(list, root, added);
    else if (!restored) list->storeMirrorsList = false;
    return status;
}

}  // namespace

LSTATUS StoreListedHead(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    return StoreChange(list, root, list->head, nullptr, IfRefused::Kept);
}

LSTATUS InsertAndStore(PortList* list, LPCWSTR root, LPCWSTR name, bool isDefault) {
    if (!list || !list->Insert(isDefault ? nullptr : name, isDefault))
        return ERROR_NOT_ENOUGH_MEMORY;
    const LSTATUS status = StoreChange(list, root, list->head, nullptr, IfRefused::TakenBack);
    // A port reported as added must outlive a restart: not stored, it is taken
    // back out.
    if (status != ERROR_SUCCESS) list->Remove(list->DisplayName(list->head));
    return status;
}

LSTATUS RemoveAndStore(PortList* list, LPCWSTR root, LPCWSTR name) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    PortRecord* record = list->Find(name);
    if (!record) return ERROR_UNKNOWN_PORT;
    const LSTATUS status = StoreChange(list, root, nullptr, record, IfRefused::TakenBack);
    if (status == ERROR_SUCCESS) list->Remove(name);
    return status;
}
