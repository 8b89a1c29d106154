// The two forms of the monitor: the legacy DLL, whose dialogs run in the
// spooler, and the modern pair, whose dialogs run in the user's process.
#pragma once

#include <windows.h>

struct Form {
    LPCWSTR name;
    LPCWSTR monitorDll;  // registered with the spooler
    LPCWSTR uiDll;       // loaded by the spooler's client, or null
};

constexpr Form kLegacy = {L"legacy", L"norvmon.dll", nullptr};
constexpr Form kModern = {L"modern", L"norvmon2.dll", L"norvmonui.dll"};
constexpr LPCWSTR kAllDlls[] = {L"norvmon.dll", L"norvmon2.dll", L"norvmonui.dll"};

constexpr WCHAR kMonitorName[] = L"NORV Monitor";
constexpr WCHAR kMonitorKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";
