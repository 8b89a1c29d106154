// The operations the spooler reaches through the monitor's table.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

// Port enumeration
BOOL WINAPI EnumPorts(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                      LPDWORD pcReturned);

// Job path
BOOL WINAPI OpenPort(LPWSTR pName, PHANDLE pHandle);
BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                         LPBYTE pDocInfo);
BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
BOOL WINAPI EndDocPort(HANDLE hPort);
BOOL WINAPI ClosePort(HANDLE hPort);

// Port administration
BOOL WINAPI AddPort(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
BOOL WINAPI AddPortEx(LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
BOOL WINAPI ConfigurePort(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
BOOL WINAPI DeletePort(LPWSTR pName, HWND hWnd, LPWSTR pPortName);

// The table handed to the spooler, and the size it announces: the fourteen
// classic slots in pointer sizes.
constexpr DWORD kMonitorSize = 14 * sizeof(void*);
extern const MONITOREX monitorTable;
