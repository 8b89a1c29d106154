// The spooler's ports: listed, and the monitor's added and removed without
// a dialog.
#pragma once

#include <windows.h>

int Ports();
int AddPorts(int count, wchar_t** folders);
int RemovePorts(int count, wchar_t** ports);

// The monitor's ports, joined by ", " into names (cut to capacity units);
// false (user told) when the spooler cannot be asked.
bool ListMonitorPortNames(LPWSTR names, DWORD capacity);
