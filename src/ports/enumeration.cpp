#include "ports/enumeration.h"

#include <string.h>

#include <winspool.h>

#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"

namespace {

DWORD StringBytes(LPCWSTR s) { return (WideLength(s) + 1) * sizeof(WCHAR); }

// Copies `bytes` of s (its terminator included) just below `end`; returns
// where it starts. The caller's buffer may hold strings at odd addresses,
// hence memcpy.
LPBYTE PackString(LPCWSTR s, DWORD bytes, LPBYTE end) {
    end -= bytes;
    memcpy(end, s, bytes);
    return end;
}

}  // namespace

DWORD EntrySize(const PortList* list, LPCWSTR displayName, DWORD level) {
    switch (level) {
    case 1:
        return sizeof(PORT_INFO_1W) + StringBytes(displayName);
    case 2:
        return sizeof(PORT_INFO_2W) + list->monitorNameBytes + list->descriptionBytes +
               StringBytes(displayName);
    default:
        return 0;
    }
}

LPBYTE PackEntry(const PortList* list, const PortRecord* record, DWORD level, LPBYTE entry,
                 LPBYTE stringEnd) {
    LPCWSTR name = list->DisplayName(record);
    if (level == 1) {
        PORT_INFO_1W info;
        stringEnd = PackString(name, StringBytes(name), stringEnd);
        info.pName = reinterpret_cast<LPWSTR>(stringEnd);
        memcpy(entry, &info, sizeof(info));
    } else if (level == 2) {
        PORT_INFO_2W info;
        stringEnd = PackString(list->monitorName, list->monitorNameBytes, stringEnd);
        info.pMonitorName = reinterpret_cast<LPWSTR>(stringEnd);
        stringEnd = PackString(list->description, list->descriptionBytes, stringEnd);
        info.pDescription = reinterpret_cast<LPWSTR>(stringEnd);
        stringEnd = PackString(name, StringBytes(name), stringEnd);
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

BOOL WINAPI EnumPorts(LPWSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                      LPDWORD pcReturned) {
    if (!pcbNeeded || !pcReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MonitorLock lock;
    *pcReturned = 0;
    // Sizes add up in 64 bits: no list can wrap the count past a small buffer.
    unsigned long long needed = 0;
    if (portList)
        for (PortRecord* record = portList->head; record->next; record = record->next)
            needed += EntrySize(portList, portList->DisplayName(record), Level);
    *pcbNeeded = needed > 0xFFFFFFFFull ? 0xFFFFFFFFu : DWORD(needed);
    if (needed > cbBuf || (needed && !pPorts)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!portList) return TRUE;

    LPBYTE stringEnd = pPorts + cbBuf;
    LPBYTE entry = pPorts;
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
        ++*pcReturned;
    }
    return TRUE;
}
