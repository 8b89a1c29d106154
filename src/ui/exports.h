// The UI DLL's export (norvmonui.dll).
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI(VOID);
