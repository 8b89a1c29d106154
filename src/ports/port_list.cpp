#include "ports/port_list.h"

#include "common/heap.h"

namespace {

constexpr WCHAR kDefaultSubdirectory[] = TEXT("NORV\\");
// GetTempPathW is asked for at most this many units, terminator included.
constexpr DWORD kTempPathUnits = MAX_PATH + 1;

PortRecord* NewRecord() {
    auto* record = static_cast<PortRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PortRecord)));
    return record;
}

void FreeRecords(PortRecord* record) {
    while (record) {
        PortRecord* next = record->next;
        HeapFree(GetProcessHeap(), 0, record);
        record = next;
    }
}

}  // namespace

PortList* PortList::Create(LPCWSTR monitorName, LPCWSTR description, LPCWSTR defaultPortName) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(PortList));
    if (!memory) return nullptr;
    PortList* list = new (memory) PortList();
    list->monitorName = HeapCopyString(monitorName);
    list->description = HeapCopyString(description);
    list->defaultPortName = HeapCopyString(defaultPortName);
    list->head = NewRecord();  // the sentinel
    list->ComputeTempDirectory();
    list->monitorNameBytes = (WideLength(list->monitorName) + 1) * sizeof(WCHAR);
    list->descriptionBytes = (WideLength(list->description) + 1) * sizeof(WCHAR);
    if (!list->monitorName || !list->description || !list->defaultPortName || !list->head ||
        !list->tempDirectory) {
        Destroy(list);
        return nullptr;
    }
    return list;
}

void PortList::Destroy(PortList* list) {
    if (!list) return;
    list->~PortList();  // virtual: a derived list cleans up its own part too
    HeapFree(GetProcessHeap(), 0, list);
}

PortList::~PortList() {
    HeapFreeString(description);
    HeapFreeString(monitorName);
    HeapFreeString(defaultPortName);
    HeapFreeString(tempDirectory);
    FreeRecords(head);
    FreeRecords(retired);
}

void PortList::ComputeTempDirectory() {
    WCHAR buffer[kTempPathUnits] = {};
    DWORD length = GetTempPathW(kTempPathUnits, buffer);
    // Too long for the buffer, or too long to take "NORV\" within a record's
    // path: no directory, so the default port cannot be made.
    const DWORD suffix = WideLength(kDefaultSubdirectory);
    if (length > kTempPathUnits || WideLength(buffer) + suffix >= kPortStringUnits) buffer[0] = 0;
    else WideAppend(buffer, kTempPathUnits, kDefaultSubdirectory);
    tempDirectory = HeapCopyString(buffer);
}

int PortList::Insert(LPCWSTR name, bool isDefault) {
    const bool asDefault = isDefault && tempDirectory[0] && defaultPortName[0];
    // Without a directory there is nothing to put in the default port's path.
    if (isDefault && !asDefault) return 0;
    PortRecord* record = MakeRecord(name, asDefault);
    if (!record) return 0;
    Push(record);
    return 1;
}

void PortList::Push(PortRecord* record) {
    record->next = head;
    head = record;
}

PortRecord* PortList::MakeRecord(LPCWSTR name, bool asDefault) const {
    PortRecord* record = NewRecord();
    if (!record) return nullptr;
    record->isDefault = asDefault ? 1 : 0;
    WideCopy(record->path, kPortStringUnits, asDefault ? tempDirectory : name);
    return record;
}

PortRecord* PortList::MakeStoredRecord(LPCWSTR name) const {
    // Without a directory the stored default port stays a port under its
    // name, so that it is neither dropped from the list nor from the store.
    const bool asDefault = tempDirectory[0] && defaultPortName[0] &&
                           WideEqualNoCase(name, defaultPortName);
    return MakeRecord(name, asDefault);
}

void PortList::FreeUnlinked(PortRecord* record) {
    if (record) HeapFree(GetProcessHeap(), 0, record);
}

void PortList::Rebuild(PortRecord* const* storedFirst, DWORD count) {
    PortRecord* sentinel = head;
    while (sentinel->next) sentinel = sentinel->next;
    PortRecord* top = nullptr;  // the last unclaimed record linked so far
    PortRecord* newHead = nullptr;
    for (PortRecord* record = head; record != sentinel;) {
        PortRecord* next = record->next;
        bool stored = false;
        for (DWORD i = 0; i < count && !stored; ++i) stored = storedFirst[i] == record;
        if (!stored) {
            if (top) top->next = record;
            else newHead = record;
            top = record;
        }
        record = next;
    }
    PortRecord* below = sentinel;
    for (DWORD i = 0; i < count; ++i) {
        storedFirst[i]->next = below;
        below = storedFirst[i];
    }
    if (top) top->next = below;
    else newHead = below;
    head = newHead;
}

bool PortList::Matches(const PortRecord* record, LPCWSTR name) const {
    if (record->isDefault && WideEqualNoCase(name, defaultPortName)) return true;
    return WideEqualNoCase(name, record->path);
}

PortRecord* PortList::Find(LPCWSTR name) const {
    for (PortRecord* record = head; record->next; record = record->next)
        if (Matches(record, name)) return record;
    return nullptr;
}

bool PortList::HasDefaultPort() const { return Find(defaultPortName) != nullptr; }

int PortList::Remove(LPCWSTR name) {
    PortRecord* previous = nullptr;
    for (PortRecord* record = head; record->next; previous = record, record = record->next) {
        if (!Matches(record, name)) continue;
        if (previous) previous->next = record->next;
        else head = record->next;
        if (record->handedOut) {
            record->next = retired;
            retired = record;
        } else {
            HeapFree(GetProcessHeap(), 0, record);
        }
        return 1;
    }
    return 0;
}

DWORD PortList::Count() const {
    DWORD count = 0;
    for (PortRecord* record = head; record->next; record = record->next) ++count;
    return count;
}

LPCWSTR PortList::DisplayName(const PortRecord* record) const {
    return record->isDefault ? defaultPortName : record->path;
}

bool PortList::IsPortHandle(const void* handle) const {
    for (PortRecord* record = head; record->next; record = record->next)
        if (record == handle) return true;
    for (PortRecord* record = retired; record; record = record->next)
        if (record == handle) return true;
    return false;
}
