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
    // A list is made at process attach, before any thread compares names.
    LoadNameComparison();
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
    list->defaultPortNameUnits = WideLength(list->defaultPortName);
    list->MakeLevel2Strings();
    if (!list->monitorName || !list->description || !list->defaultPortName || !list->head ||
        !list->tempDirectory || !list->level2Strings) {
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
    HeapFreeString(level2Strings);
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

void PortList::MakeLevel2Strings() {
    if (!description || !monitorName) return;
    const DWORD descriptionUnits = descriptionBytes / sizeof(WCHAR);
    const DWORD units = descriptionUnits + monitorNameBytes / sizeof(WCHAR);
    level2Strings = static_cast<LPWSTR>(HeapAlloc(GetProcessHeap(), 0, units * sizeof(WCHAR)));
    if (!level2Strings) return;
    WideCopy(level2Strings, descriptionUnits, description);
    WideCopy(level2Strings + descriptionUnits, units - descriptionUnits, monitorName);
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
    ++count;
    nameUnitsTotal += record->nameUnits;
}

PortRecord* PortList::MakeRecord(LPCWSTR name, bool asDefault) const {
    PortRecord* record = NewRecord();
    if (!record) return nullptr;
    record->isDefault = asDefault ? 1 : 0;
    WideCopy(record->path, kPortStringUnits, asDefault ? tempDirectory : name);
    record->pathUnits = WideLength(record->path);
    record->nameUnits = asDefault ? defaultPortNameUnits : record->pathUnits;
    record->name = asDefault ? defaultPortName : record->path;
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

void PortList::Rebuild(PortRecord* const* storedFirst, DWORD storedCount) {
    PortRecord* sentinel = head;
    while (sentinel->next) sentinel = sentinel->next;
    PortRecord* top = nullptr;  // the last unclaimed record linked so far
    PortRecord* newHead = nullptr;
    for (PortRecord* record = head; record != sentinel;) {
        PortRecord* next = record->next;
        bool stored = false;
        for (DWORD i = 0; i < storedCount && !stored; ++i) stored = storedFirst[i] == record;
        if (!stored) {
            if (top) top->next = record;
            else newHead = record;
            top = record;
        }
        record = next;
    }
    PortRecord* below = sentinel;
    for (DWORD i = 0; i < storedCount; ++i) {
        storedFirst[i]->next = below;
        below = storedFirst[i];
    }
    if (top) top->next = below;
    else newHead = below;
    head = newHead;
    count = 0;
    nameUnitsTotal = 0;
    for (PortRecord* record = head; record->next; record = record->next) {
        ++count;
        nameUnitsTotal += record->nameUnits;
    }
}

bool PortList::Matches(const PortRecord* record, LPCWSTR name) const {
    return Matches(record, name, WideLength(name));
}

bool PortList::Matches(const PortRecord* record, LPCWSTR name, DWORD units) const {
    if (record->pathUnits == units && WideEqualNoCaseUnits(record->path, name, units)) return true;
    return record->nameUnits == units && record->isDefault &&
           WideEqualNoCaseUnits(defaultPortName, name, units);
}

PortRecord* PortList::Find(LPCWSTR name) const {
    const DWORD units = WideLength(name);
    for (PortRecord* record = head; record->next; record = record->next)
        if (Matches(record, name, units)) return record;
    return nullptr;
}

PortRecord* PortList::FindListed(LPCWSTR name) const {
    const DWORD units = WideLength(name);
    for (PortRecord* record = head; record->next; record = record->next)
        if (record->nameUnits == units && WideEqualNoCaseUnits(record->name, name, units))
            return record;
    return nullptr;
}

bool PortList::HasDefaultPort() const { return Find(defaultPortName) != nullptr; }

int PortList::Remove(LPCWSTR name) {
    const DWORD units = WideLength(name);
    PortRecord* previous = nullptr;
    for (PortRecord* record = head; record->next; previous = record, record = record->next) {
        if (!Matches(record, name, units)) continue;
        if (previous) previous->next = record->next;
        else head = record->next;
        --count;
        nameUnitsTotal -= record->nameUnits;
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

DWORD PortList::Count() const { return count; }

LPCWSTR PortList::DisplayName(const PortRecord* record) const {
    return record->name;
}

bool PortList::IsPortHandle(const void* handle) const {
    for (PortRecord* record = head; record->next; record = record->next)
        if (record == handle) return true;
    for (PortRecord* record = retired; record; record = record->next)
        if (record == handle) return true;
    return false;
}
