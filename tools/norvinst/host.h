// The Windows this norvinst runs on. A 64-bit Windows loads monitors of its
// own architecture only, from its native system directory; the x86 build
// there runs under WOW64 and sees that directory only through Sysnative.
#pragma once

#include <windows.h>

#include "common/wide_string.h"

// Units of every path buffer of norvinst.
constexpr DWORD kPathUnits = 1024;

// The machine of the Windows itself, not of this process.
WORD NativeMachine();

// True when this process runs under WOW64 (the x86 build on 64-bit Windows).
bool UnderWow64();

// The directory the spooler loads monitors from, as this process can reach
// it; false when Windows does not tell.
bool NativeSystemDirectory(WCHAR (&path)[kPathUnits]);

// SysWOW64, where 32-bit programs load DLLs from; false on a 32-bit Windows.
bool Wow64SystemDirectory(WCHAR (&path)[kPathUnits]);

// The folder norvinst.exe is in.
void ModuleDirectory(WCHAR (&path)[kPathUnits]);
