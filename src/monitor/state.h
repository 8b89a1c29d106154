// Module-wide state, alive from process attach to process detach.
#pragma once

#include <windows.h>

#include "ports/port_list.h"

extern CRITICAL_SECTION monitorLock;
extern PortList* portList;      // null if it could not be allocated at attach
extern LPWSTR registryRoot;     // the spooler's key for this monitor, under HKLM
extern HANDLE monitorEvent;     // "NORV Monitor", exists while the monitor is initialised
extern HMODULE spoolerModule;   // the spooler's library, loaded on first need

// Identity strings.
extern const WCHAR kMonitorName[];
extern const WCHAR kMonitorDescription[];
extern const WCHAR kDefaultPortName[];
