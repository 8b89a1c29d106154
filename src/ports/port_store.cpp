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
// failure leaves stored ports unread. `written` (when asked for) tells
// whether the value is in the form a save writes: the name and its
// terminator, nothing more.
LSTATUS ReadStoredName(const StoreKey& key, DWORD n, WCHAR (&name)[kPortStringUnits],
                       bool* written = nullptr) {
    DWORD bytes = sizeof(name);
    LSTATUS status = key.Query(ValueName(n).text, reinterpret_cast<LPBYTE>(name), &bytes);
    if (status != ERROR_SUCCESS) return status;
    // The stored string need not carry its terminator.
    DWORD units = bytes / sizeof(WCHAR);
    if (written)
        *written = bytes % sizeof(WCHAR) == 0 && units > 0 && name[units - 1] == 0 &&
                   WideLength(name) == units - 1;
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
    // The store holds the list value for value, as a save writes it, so that
    // changes may rewrite only the values they touch.
    bool matches = complete && list->Count() == 0;
    for (DWORD i = 1; key; ++i) {
        WCHAR name[kPortStringUnits];
        bool written = false;
        LSTATUS status = ReadStoredName(key, i, name, &written);
        if (status != ERROR_SUCCESS) {
            if (!EndsNumbering(status)) complete = false;
            // A value too long to be a port still holds the next number.
            if (status != ERROR_FILE_NOT_FOUND) matches = false;
            break;
        }
        // An empty name is no port, and a name listed already is the port
        // stored under the lower value: skip them and read on.
        if (!name[0] || list->FindListed(name)) {
            matches = false;
            continue;
        }
        PortRecord* record = list->MakeStoredRecord(name);
        if (record) list->Push(record);
        else complete = false;
        matches = matches && record && written && WideEqual(list->DisplayName(record), name);
    }
    list->missesStoredPorts = !complete;
    list->storeMatches = matches && complete;
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
    list->storeMatches = false;  // the ports listed but not stored are on top
    return ERROR_SUCCESS;
}

namespace {

// One port's value, with its terminator.
LSTATUS WriteName(const StoreKey& key, DWORD n, const PortList* list, const PortRecord* record) {
    return key.Set(ValueName(n).text, reinterpret_cast<const BYTE*>(list->DisplayName(record)),
                   (record->nameUnits + 1) * sizeof(WCHAR));
}

// Deletes the values from `first` on, up to the first one missing.
LSTATUS DeleteFrom(const StoreKey& key, DWORD first) {
    for (DWORD n = first;; ++n) {
        const LSTATUS status = key.Delete(ValueName(n).text);
        if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
    }
}

// The store's rule, for every way it is written: a value that holds a port is
// overwritten only once that port is stored under another value too, and the
// last value is deleted only after all writes. Adding a port appends it
// (after clearing the values past its number, which hold no port); deleting
// one moves the values above it down by one, lowest first, then deletes the
// last; the whole list is written from 1 upwards, which for a list one change
// away from the store is the same order. So stopping after any single write
// leaves every port stored (one maybe twice, which a load lists once), never
// lost. An add writes one value and a delete the values above the deleted
// port; only a store that may not hold the list (after a failed save that
// could not be undone, or a load that stopped early or read values a save
// would not have written) is written whole.

// Writes the list whole, leaving out `skip` (a record about to be removed).
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
    list->storeMatches = status == ERROR_SUCCESS;
    return status;
}

// Stores the head, which the list gained since the store held it: the
// deletion past its number first (a stale value there would load after it),
// then its value. On failure the store still holds the list without it.
LSTATUS AppendHead(const StoreKey& key, const PortList* list) {
    const DWORD n = list->Count();
    const LSTATUS status = DeleteFrom(key, n + 1);
    return status == ERROR_SUCCESS ? WriteName(key, n, list, list->head) : status;
}

// Deletes `record`'s value by moving the values above it down by one and
// deleting the last. When a step fails, the moved values are written back
// from the top down (each write again overwrites a port stored above it), so
// that the store again holds the list with `record`; *restored tells whether
// that went through.
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

}  // namespace

LSTATUS SavePorts(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    return SaveAll(list, root, nullptr);
}

LSTATUS StoreInsertedHead(PortList* list, LPCWSTR root) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    if (!list->storeMatches) return SaveAll(list, root, nullptr);
    StoreKey key(root, KEY_READ | KEY_SET_VALUE);
    const LSTATUS status = key ? AppendHead(key, list) : key.status();
    list->storeMatches = status == ERROR_SUCCESS;
    return status;
}

LSTATUS InsertAndStore(PortList* list, LPCWSTR root, LPCWSTR name, bool isDefault) {
    if (!list || !list->Insert(isDefault ? nullptr : name, isDefault))
        return ERROR_NOT_ENOUGH_MEMORY;
    const bool matched = list->storeMatches;
    LSTATUS status;
    {
        StoreKey key(root, KEY_READ | KEY_SET_VALUE);
        status = !key ? key.status() : matched ? AppendHead(key, list) : WriteAll(key, list, nullptr);
    }
    if (status == ERROR_SUCCESS) {
        list->storeMatches = true;
        return status;
    }
    // Not stored: a port reported as added must outlive a restart, so it is
    // taken back out. An append left the store as it was; a whole rewrite is
    // done again without it, in case its value landed after all.
    list->Remove(list->DisplayName(list->head));
    if (!matched) SaveAll(list, root, nullptr);
    return status;
}

LSTATUS RemoveAndStore(PortList* list, LPCWSTR root, LPCWSTR name) {
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    PortRecord* record = list->Find(name);
    if (!record) return ERROR_UNKNOWN_PORT;
    const bool matched = list->storeMatches;
    LSTATUS status;
    bool restored = false;
    {
        StoreKey key(root, KEY_READ | KEY_SET_VALUE);
        if (!key) {
            status = key.status();
            restored = true;  // nothing was written
        } else if (matched) {
            status = ShiftOut(key, list, record, &restored);
        } else {
            status = WriteAll(key, list, record);
        }
    }
    if (status != ERROR_SUCCESS) {
        // The port stays listed, and is written back to the store: a whole
        // rewrite is done again with it; when even writing back the moved
        // values failed, the next change writes the store whole.
        if (!matched) SaveAll(list, root, nullptr);
        else if (!restored) list->storeMatches = false;
        return status;
    }
    list->Remove(name);
    list->storeMatches = true;
    return ERROR_SUCCESS;
}
