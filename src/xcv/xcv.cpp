#include "xcv/xcv.h"

#include <string.h>

#include "admin/port_add.h"
#include "admin/port_remove.h"
#include "common/heap.h"
#include "common/wide_string.h"
#include "monitor/lock.h"
#include "monitor/session.h"
#include "monitor/state.h"

const WCHAR kMonitorUiDll[] = TEXT("norvmonui.dll");

namespace {

constexpr DWORD kXcvMagic = 0x4E56434Bu;  // "NVCK"

struct XcvHandle {
    DWORD magic;
    ACCESS_MASK granted;
};

XcvHandle* FromHandle(HANDLE hXcv) {
    XcvHandle* xcv = static_cast<XcvHandle*>(hXcv);
    return xcv && xcv->magic == kXcvMagic ? xcv : nullptr;
}

// A name sent as input: UTF-16 ending within the bytes given, copied out so
// that an unaligned or unterminated buffer is never read as a string.
DWORD ReadName(const BYTE* data, DWORD bytes, WCHAR (&name)[kPortStringUnits]) {
    if (!data) return ERROR_INVALID_PARAMETER;
    const DWORD units = bytes / sizeof(WCHAR);
    for (DWORD i = 0; i < units; ++i) {
        WCHAR unit;
        memcpy(&unit, data + i * sizeof(WCHAR), sizeof(WCHAR));
        if (i == kPortStringUnits) return ERROR_INVALID_NAME;
        name[i] = unit;
        if (!unit) return i == 0 ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    }
    return ERROR_INVALID_PARAMETER;
}

// Output of `bytes` bytes: the size is reported whether or not it fits.
DWORD PutOutput(const void* data, DWORD bytes, PBYTE out, DWORD outBytes, PDWORD needed) {
    *needed = bytes;
    if (!out || outBytes < bytes) return ERROR_INSUFFICIENT_BUFFER;
    memcpy(out, data, bytes);
    return ERROR_SUCCESS;
}


}  // namespace

BOOL WINAPI XcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK GrantedAccess, PHANDLE phXcv) {
    if (!phXcv) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phXcv = nullptr;
    {
        MonitorLock lock;
        if (!monitorStarted) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    XcvHandle* xcv = HeapNew<XcvHandle>();
    if (!xcv) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    xcv->magic = kXcvMagic;
    xcv->granted = GrantedAccess;
    *phXcv = xcv;
    return TRUE;
}

DWORD WINAPI XcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                         PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded) {
    DWORD ignored = 0;
    PDWORD needed = pcbOutputNeeded ? pcbOutputNeeded : &ignored;
    *needed = 0;
    // Command names match exactly, as the spooler's own monitors match theirs.
    // "MonitorUI" is asked before any handle exists, and tells nothing private.
    if (pszDataName && WideEqual(pszDataName, TEXT("MonitorUI")))
        return PutOutput(kMonitorUiDll, (WideLength(kMonitorUiDll) + 1) * sizeof(WCHAR),
                         pOutputData, cbOutputData, needed);
    const XcvHandle* xcv = FromHandle(hXcv);
    if (!xcv) return ERROR_INVALID_HANDLE;
    if (!pszDataName) return ERROR_INVALID_PARAMETER;
    const bool administer = (xcv->granted & SERVER_ACCESS_ADMINISTER) != 0;

    WCHAR name[kPortStringUnits];
    if (WideEqual(pszDataName, TEXT("PortExists"))) {
        *needed = sizeof(DWORD);
        if (!pOutputData || cbOutputData < sizeof(DWORD)) return ERROR_INSUFFICIENT_BUFFER;
        DWORD status = ReadName(pInputData, cbInputData, name);
        if (status != ERROR_SUCCESS) return status;
        DWORD exists;
        {
            MonitorLock lock;
            exists = portList && portList->Find(name) ? 1 : 0;
        }
        return PutOutput(&exists, sizeof(exists), pOutputData, cbOutputData, needed);
    }
    if (WideEqual(pszDataName, TEXT("AddPort"))) {
        if (!administer) return ERROR_ACCESS_DENIED;
        DWORD status = ReadName(pInputData, cbInputData, name);
        return status == ERROR_SUCCESS ? AddExactPort(name) : status;
    }
    if (WideEqual(pszDataName, TEXT("DeletePort"))) {
        if (!administer) return ERROR_ACCESS_DENIED;
        DWORD status = ReadName(pInputData, cbInputData, name);
        return status == ERROR_SUCCESS ? RemovePortByName(name) : status;
    }
    return ERROR_INVALID_PARAMETER;
}

BOOL WINAPI XcvClosePort(HANDLE hXcv) {
    XcvHandle* xcv = FromHandle(hXcv);
    if (!xcv) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    xcv->magic = 0;
    HeapDelete(xcv);
    return TRUE;
}
