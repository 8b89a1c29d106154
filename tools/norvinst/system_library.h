// DLLs from the system directory only. norvinst runs elevated, often from
// the folder a download was unpacked into, and Windows searches a program's
// own folder first for every DLL that is not a KnownDLL: so norvinst imports
// KnownDLLs alone (scripts/check-dll.sh checks) and loads everything else
// here, never by a bare name (docs/entry-points.md).
#pragma once

#include <windows.h>

// Restricts the DLL search of this process to the system directory. Called
// first thing, before any DLL is loaded at run time.
void RestrictDllSearch();

// Loads the DLL `name` from the system directory; null with the last error
// set when it cannot.
HMODULE LoadSystemLibrary(LPCWSTR name);

// GetProcAddress as a typed function pointer: FunctionOf<Proc>(module, "Name").
template <typename Proc>
Proc FunctionOf(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
