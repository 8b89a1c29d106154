// Completing the list from the store before a change, after a load that
// missed stored ports.
#include "ports/port_store.h"

#include "ports/store_values.h"

namespace {

// The stored ports in stored order while a store is read again: listed records
// and new ones. The new ones are chained through `next` (unused until the list
// is rebuilt) and freed unless the list takes them.
class StoredPorts {
public:
    explicit StoredPorts(const PortList* list) : list_(list) {}
    ~StoredPorts() {
        while (made_) {
            PortRecord* next = made_->next;
            PortList::FreeUnlinked(made_);
            made_ = next;
        }
        if (records_) HeapFree(GetProcessHeap(), 0, records_);
    }
    StoredPorts(const StoredPorts&) = delete;
    StoredPorts& operator=(const StoredPorts&) = delete;

    bool Holds(LPCWSTR name) const {
        for (DWORD i = 0; i < count_; ++i)
            if (WideEqualNoCase(records_[i]->name, name)) return true;
        return false;
    }
    LSTATUS Add(LPCWSTR name) {
        if (count_ == capacity_ && !Grow()) return ERROR_NOT_ENOUGH_MEMORY;
        PortRecord* record = list_->FindListed(name);
        if (!record) {
            record = list_->MakeStoredRecord(name);
            if (!record) return ERROR_NOT_ENOUGH_MEMORY;
            record->next = made_;
            made_ = record;
        }
        records_[count_++] = record;
        return ERROR_SUCCESS;
    }
    // The list now owns every record.
    void HandOver(PortList* list) {
        list->Rebuild(records_, count_);
        made_ = nullptr;
    }

private:
    bool Grow() {
        const DWORD capacity = capacity_ ? capacity_ * 2 : 64;
        auto* grown = static_cast<PortRecord**>(
            HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(PortRecord*)));
        if (!grown) return false;
        for (DWORD i = 0; i < count_; ++i) grown[i] = records_[i];
        if (records_) HeapFree(GetProcessHeap(), 0, records_);
        records_ = grown;
        capacity_ = capacity;
        return true;
    }

    const PortList* list_;
    PortRecord** records_ = nullptr;
    DWORD count_ = 0;
    DWORD capacity_ = 0;
    PortRecord* made_ = nullptr;
};

}  // namespace

LSTATUS CompleteFromStore(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;  // it could not be made at attach
    if (!list->missesStoredPorts) return ERROR_SUCCESS;
    StoreKey key(root, KEY_QUERY_VALUE);
    if (!key && key.status() != ERROR_FILE_NOT_FOUND) return key.status();
    StoredPorts stored(list);
    for (DWORD i = 1; key; ++i) {
        WCHAR name[kPortStringUnits];
        LSTATUS status = ReadStoredName(key, i, name);
        if (EndsNumbering(status)) break;
        if (status != ERROR_SUCCESS) return status;
        if (!name[0] || stored.Holds(name)) continue;
        status = stored.Add(name);
        if (status != ERROR_SUCCESS) return status;
    }
    stored.HandOver(list);
    list->missesStoredPorts = false;
    list->storeMirrorsList = false;  // the ports listed but not stored are on top
    return ERROR_SUCCESS;
}
