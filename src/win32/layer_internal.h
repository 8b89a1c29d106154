// Shared plumbing of the Win32 layer's parts; not for the monitor or tests.
#pragma once

#include "control.h"

#include <winspool.h>

namespace win32layer::detail {

// Counts a call of `api` and says whether it is to fail; if so, *error holds
// the code asked for, or `usual` when none was.
bool ShouldFail(Api api, DWORD usual, DWORD* error);
inline bool ShouldFail(Api api) {
    DWORD ignored;
    return ShouldFail(api, 0, &ignored);
}

// Each part of the layer forgets its state.
void ResetKernel();
void ResetRegistry();
void ThawRegistry();
void ResetUser();
void ResetPrinters();
void ResetShell();
void ResetSpooler();
void ResetXcv();
void ResetResources();

// Xcv handles (xcv.cpp): OpenPrinterW and ClosePrinter hand these names and
// handles over; ModernMonitorPorts adds the hosted MONITOR2's ports to a list.
bool IsXcvName(LPCWSTR name);
BOOL OpenXcv(LPCWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
bool CloseXcv(HANDLE printer);
bool ModernMonitorPorts(std::vector<std::u16string>* names);
void ResetFiles();

std::u16string Lower(const std::u16string& s);
// The system's upper case of one UTF-16 unit.
WCHAR UpperUnit(WCHAR unit);
// What GetProcAddress finds in the kernel's module; null for another module.
bool IsKernelModule(HMODULE module);
FARPROC KernelProc(HMODULE module, LPCSTR procName);
size_t Length(LPCWSTR s);

}  // namespace win32layer::detail
