// The module's two exports.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

extern "C" {
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);
}
