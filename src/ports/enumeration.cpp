#include "ports/enumeration.h"

#include <string.h>

#include <winspool.h>

#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"
#include "ports/packed_answer.h"

namespace {

// The listed name's size, terminator included, from its kept length.
DWORD NameBytes(const PortRecord* record) { return (record->nameUnits + 1) * sizeof(WCHAR); }

// Copies `bytes` of s (its terminator included) just below `end`; returns
// where it starts. The caller's buffer may hold strings at odd addresses,
// hence memcpy.
LPBYTE PackString(LPCWSTR s, DWORD bytes, LPBYTE end) {
    end -= bytes;
    memcpy(end, s, bytes);
    return end;
}

}  // namespace

unsigned long long ListSize(const PortList* list, DWORD level) {
    // Every name with its terminator.
    const unsigned long long names = (list->nameUnitsTotal + list->count) * sizeof(WCHAR);
    switch (level) {
    case 1:
        return list->count * (unsigned long long)sizeof(PORT_INFO_1W) + names;
    case 2:
        return list->count * (unsigned long long)(sizeof(PORT_INFO_2W) + list->monitorNameBytes +
                                                  list->descriptionBytes) +
               names;
    default:
        return 0;
    }
}

LPBYTE PackEntry(const PortList* list, const PortRecord* record, DWORD level, LPBYTE entry,
                 LPBYTE stringEnd) {
    LPCWSTR name = record->name;
    if (level == 1) {
        PORT_INFO_1W info;
        stringEnd = PackString(name, NameBytes(record), stringEnd);
        info.pName = reinterpret_cast<LPWSTR>(stringEnd);
        memcpy(entry, &info, sizeof(info));
    } else if (level == 2) {
        PORT_INFO_2W info;
        // Room for the two strings every record carries; PackSharedStrings
        // fills it once the records are no longer needed.
        stringEnd -= list->descriptionBytes + list->monitorNameBytes;
        info.pDescription = reinterpret_cast<LPWSTR>(stringEnd);
        info.pMonitorName = reinterpret_cast<LPWSTR>(stringEnd + list->descriptionBytes);
        stringEnd = PackString(name, NameBytes(record), stringEnd);
        info.pPortName = reinterpret_cast<LPWSTR>(stringEnd);
        info.fPortType = 0;
        info.Reserved = 0;
        memcpy(entry, &info, sizeof(info));
    } else {
        if (invalidLevelNotice) invalidLevelNotice();
    }
    return stringEnd;
}

void (*invalidLevelNotice)() = nullptr;
void PackSharedStrings(const PortList* list, LPBYTE entries, DWORD count) {
    const DWORD bytes = list->descriptionBytes + list->monitorNameBytes;
    for (DWORD i = 0; i < count; ++i) {
        PORT_INFO_2W info;
        memcpy(&info, entries + i * sizeof(info), sizeof(info));
        memcpy(info.pDescription, list->level2Strings, bytes);
    }
}

BOOL WINAPI EnumPorts(LPWSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                      LPDWORD pcReturned) {
    if (!pcbNeeded || !pcReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MonitorLock lock;
    *pcReturned = 0;
    // Sizes add up in 64 bits: no list can wrap the count past a small buffer.
    const unsigned long long needed = portList ? ListSize(portList, Level) : 0;
    *pcbNeeded = needed > 0xFFFFFFFFull ? 0xFFFFFFFFu : DWORD(needed);
    if (needed > cbBuf || (needed && !pPorts)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!portList) return TRUE;
    if ((Level == 1 || Level == 2) && portList->count) {
        if (const PackedAnswer* answer = CurrentAnswer(portList, Level)) {
            WriteAnswer(answer, Level, pPorts, cbBuf);
            *pcReturned = portList->count;
            return TRUE;
        }
    }

    // No memory for a packed answer: pack from the records.
    LPBYTE stringEnd = pPorts + cbBuf;
    LPBYTE entry = pPorts;
    DWORD returned = 0;
    for (PortRecord* record = portList->head; record->next; record = record->next) {
        stringEnd = PackEntry(portList, record, Level, entry, stringEnd);
        if (Level == 1) {
            entry += sizeof(PORT_INFO_1W);
        } else if (Level == 2) {
            entry += sizeof(PORT_INFO_2W);
        } else {
            *pcbNeeded = 0;
            SetLastError(ERROR_INVALID_LEVEL);
            return FALSE;
        }
        ++returned;
    }
    if (Level == 2) PackSharedStrings(portList, pPorts, returned);
    *pcReturned = returned;
    return TRUE;
}
