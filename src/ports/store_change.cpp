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
// list with the change; or the registry's code. A refused change that is
// taken back must leave the store holding the list without it: in place it
// does already (an append writes its one value last, a shift writes back what
// it moved); otherwise (a whole rewrite, or a write-back that failed) the
// list without the change is written whole. When that fails too, *inDoubt is
// set, for values of this change may have landed and the store may hold
// neither list (a key this change could not open took none of it).
LSTATUS StoreChange(PortList* list, LPCWSTR root, const PortRecord* added,
                    const PortRecord* removed, IfRefused ifRefused, bool* inDoubt) {
    const bool inPlace = list->storeMirrorsList;
    // After a failure, whether the store still mirrors the list without the
    // change: in place it does, unless a shift cannot write back what it moved.
    bool mirrorsWithout = inPlace;
    bool opened = false;
    LSTATUS status;
    {
        StoreKey key(root, KEY_READ | KEY_SET_VALUE);
        opened = bool(key);
        if (!key) status = key.status();
        else if (!inPlace) status = WriteAll(key, list, removed);
        else if (added) status = AppendHead(key, list);
        else status = ShiftOut(key, list, removed, &mirrorsWithout);
    }
    if (status == ERROR_SUCCESS || ifRefused == IfRefused::Kept) {
        list->storeMirrorsList = status == ERROR_SUCCESS;
        return status;
    }
    if (!mirrorsWithout) SaveAll(list, root, added);
    if (inDoubt && opened && !list->storeMirrorsList) *inDoubt = true;
    return status;
}

}  // namespace

LSTATUS StoreListedHead(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    return StoreChange(list, root, list->head, nullptr, IfRefused::Kept, nullptr);
}

LSTATUS InsertAndStore(PortList* list, LPCWSTR root, LPCWSTR name, bool isDefault,
                       bool* storeInDoubt) {
    if (!list || !list->Insert(isDefault ? nullptr : name, isDefault))
        return ERROR_NOT_ENOUGH_MEMORY;
    const LSTATUS status =
        StoreChange(list, root, list->head, nullptr, IfRefused::TakenBack, storeInDoubt);
    // A port reported as added must outlive a restart: not stored, it is taken
    // back out.
    if (status != ERROR_SUCCESS) list->Remove(list->DisplayName(list->head));
    return status;
}

LSTATUS RemoveAndStore(PortList* list, LPCWSTR root, LPCWSTR name, bool* storeInDoubt) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    PortRecord* record = list->Find(name);
    if (!record) return ERROR_UNKNOWN_PORT;
    const LSTATUS status =
        StoreChange(list, root, nullptr, record, IfRefused::TakenBack, storeInDoubt);
    if (status == ERROR_SUCCESS) list->Remove(name);
    return status;
}
