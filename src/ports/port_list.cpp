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
    list->defaultPortNameHash = HashName(list->defaultPortName, list->defaultPortNameUnits);
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
    for (PackedAnswer* answer : packedAnswers)
        if (answer) HeapFree(GetProcessHeap(), 0, answer);
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
    record->previous = nullptr;
    record->order = head->order - 1;
    head->previous = record;
    head = record;
    ++changes;
    ++count;
    nameUnitsTotal += record->nameUnits;
    IndexNames(record);
    handles_.Add(&record->handleLink, record, HashAddress(record));
}

void PortList::IndexNames(PortRecord* record) {
    names_.Add(&record->pathLink, record, record->pathHash);
    if (record->isDefault) names_.Add(&record->nameLink, record, defaultPortNameHash);
}

PortRecord* PortList::MakeRecord(LPCWSTR name, bool asDefault) const {
    PortRecord* record = NewRecord();
    if (!record) return nullptr;
    record->isDefault = asDefault ? 1 : 0;
    WideCopy(record->path, kPortStringUnits, asDefault ? tempDirectory : name);
    record->pathUnits = WideLength(record->path);
    record->nameUnits = asDefault ? defaultPortNameUnits : record->pathUnits;
    record->name = asDefault ? defaultPortName : record->path;
    record->pathHash = HashName(record->path, record->pathUnits);
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
    ++changes;
    count = 0;
    nameUnitsTotal = 0;
    names_.Clear();
    PortRecord* previous = nullptr;
    for (PortRecord* record = head; record; previous = record, record = record->next) {
        record->previous = previous;
        record->order = count;
        if (!record->next) break;  // the sentinel
        ++count;
        nameUnitsTotal += record->nameUnits;
        IndexNames(record);
        if (!record->handleLink.owner) handles_.Add(&record->handleLink, record, HashAddress(record));
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
    const DWORD hash = HashName(name, units);
    PortRecord* first = nullptr;
    for (IndexLink* link = names_.Chain(hash); link; link = link->next)
        if (link->hash == hash && (!first || link->owner->order < first->order) &&
            Matches(link->owner, name, units))
            first = link->owner;
    return first;
}

PortRecord* PortList::FindListed(LPCWSTR name) const {
    const DWORD units = WideLength(name);
    const DWORD hash = HashName(name, units);
    PortRecord* first = nullptr;
    for (IndexLink* link = names_.Chain(hash); link; link = link->next) {
        PortRecord* record = link->owner;
        if (link->hash == hash && (!first || record->order < first->order) &&
            record->nameUnits == units && WideEqualNoCaseUnits(record->name, name, units))
            first = record;
    }
    return first;
}

bool PortList::HasDefaultPort() const { return Find(defaultPortName) != nullptr; }

int PortList::Remove(LPCWSTR name) {
    PortRecord* record = Find(name);
    if (!record) return 0;
    Unlink(record);
    if (record->handedOut) {
        record->next = retired;
        retired = record;
    } else {
        handles_.Remove(&record->handleLink);
        HeapFree(GetProcessHeap(), 0, record);
    }
    return 1;
}

void PortList::Unlink(PortRecord* record) {
    if (record->previous) record->previous->next = record->next;
    else head = record->next;
    record->next->previous = record->previous;
    ++changes;
    --count;
    nameUnitsTotal -= record->nameUnits;
    names_.Remove(&record->pathLink);
    names_.Remove(&record->nameLink);
}

DWORD PortList::Count() const { return count; }

LPCWSTR PortList::DisplayName(const PortRecord* record) const {
    return record->name;
}

bool PortList::IsPortHandle(const void* handle) const {
    const DWORD hash = HashAddress(handle);
    for (IndexLink* link = handles_.Chain(hash); link; link = link->next)
        if (link->owner == handle) return true;
    return false;
}
