// The print spooler's client functions that norvinst calls. winspool.drv is
// no KnownDLL, so norvinst does not import it: the functions come from the
// system directory's copy at run time (system_library.h).
#pragma once

#include <windows.h>
#include <winspool.h>

// winspool.drv exports AddPortExW; MinGW-w64's winspool.h does not declare it.
typedef BOOL(WINAPI* AddPortExProc)(LPWSTR pName, DWORD Level, LPBYTE pBuffer, LPWSTR pMonitorName);

struct SpoolerFunctions {
    decltype(&EnumMonitorsW) EnumMonitors;
    decltype(&AddMonitorW) AddMonitor;
    decltype(&DeleteMonitorW) DeleteMonitor;
    decltype(&EnumPortsW) EnumPorts;
    AddPortExProc AddPortEx;
    decltype(&EnumPrintersW) EnumPrinters;
    decltype(&OpenPrinterW) OpenPrinter;
    decltype(&XcvDataW) XcvData;
    decltype(&ClosePrinter) ClosePrinter;
};

// Loads winspool.drv and the functions; false, with the user told why, when
// one cannot be had.
bool LoadSpoolerFunctions();

// The functions, once LoadSpoolerFunctions has returned true.
const SpoolerFunctions& Spooler();
