#include "ports/port_store.h"

#include "ports/store_key.h"

namespace {

// Value names are decimal numbers: at most 10 digits and a terminator.
struct ValueName {
    explicit ValueName(DWORD n) { FormatDecimal(n, text); }
    WCHAR text[11];
};

// Reads stored value `n` into `name`, terminated. The numbering ends at a
// missing value or one too long for a port (EndsNumbering); any other
// failure leaves stored ports unread.
LSTATUS ReadStoredName(const StoreKey& key, DWORD n, WCHAR (&name)[kPortStringUnits]) {
    DWORD bytes = sizeof(name);
    LSTATUS status = key.Query(ValueName(n).text, reinterpret_cast<LPBYTE>(name), &bytes);
    if (status != ERROR_SUCCESS) return status;
    // The stored string need not carry its terminator.
    DWORD units = bytes / sizeof(WCHAR);
    name[units < kPortStringUnits ? units : kPortStringUnits - 1] = 0;
    return status;
}

bool EndsNumbering(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA;
}

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

bool LoadPorts(PortList* list, LPCWSTR root) {
    if (!list) return false;
    StoreKey key(root, KEY_QUERY_VALUE);
    bool complete = key || key.status() == ERROR_FILE_NOT_FOUND;
    for (DWORD i = 1; key; ++i) {
        WCHAR name[kPortStringUnits];
        LSTATUS status = ReadStoredName(key, i, name);
        if (status != ERROR_SUCCESS) {
            if (!EndsNumbering(status)) complete = false;
            break;
        }
        // An empty name is no port, and a name listed already is the port
        // stored under the lower value: skip them and read on.
        if (!name[0] || list->FindListed(name)) continue;
        PortRecord* record = list->MakeStoredRecord(name);
        if (record) list->Push(record);
        else complete = false;
    }
    list->missesStoredPorts = !complete;
    return complete;
}

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
    return ERROR_SUCCESS;
}

LSTATUS SavePorts(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    StoreKey key(root, KEY_READ | KEY_SET_VALUE);
    if (!key) return key.status();
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
        const LSTATUS status = key.Set(ValueName(n).text, reinterpret_cast<const BYTE*>(name),
                                       (record->nameUnits + 1) * sizeof(WCHAR));
        if (status != ERROR_SUCCESS) return status;
    }
    // The values past the list end at the first one missing.
    for (DWORD i = count + 1;; ++i) {
        const LSTATUS status = key.Delete(ValueName(i).text);
        if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
    }
}
