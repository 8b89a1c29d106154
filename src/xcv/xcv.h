// The monitor's Xcv interface: how the UI DLL and scripts reach the modern
// monitor through the spooler's OpenPrinterW(",XcvMonitor NORV Monitor") and
// XcvDataW. Commands:
//   "MonitorUI"   out: the UI DLL's file name (a string)
//   "PortExists"  in: a port name; out: a DWORD, 1 when the monitor lists it
//   "AddPort"     in: a port name, already canonical; adds it (needs administer)
//   "DeletePort"  in: a port name; removes the port          (needs administer)
// Strings are UTF-16 with their terminator within the given bytes. Each call
// reports the output size it needs in *pcbOutputNeeded.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

// The UI DLL's file name, as "MonitorUI" answers it.
extern const WCHAR kMonitorUiDll[];

BOOL WINAPI XcvOpenPort(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess,
                        PHANDLE phXcv);
DWORD WINAPI XcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                         PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded);
BOOL WINAPI XcvClosePort(HANDLE hXcv);
