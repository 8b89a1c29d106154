// The modules' exports: the legacy DLL's DllMain and InitializePrintMonitor,
// the modern DLL's InitializePrintMonitor2.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

extern "C" {
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);
LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor);
}
