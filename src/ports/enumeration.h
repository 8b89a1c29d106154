// Packing the port list into a spooler's buffer as PORT_INFO_1 or PORT_INFO_2
// records: records from the start upwards, their strings from the end down.
#pragma once

#include "ports/port_list.h"

// Bytes one port needs at `level`; 0 at a level that is not 1 or 2.
DWORD EntrySize(const PortList* list, LPCWSTR displayName, DWORD level);
// Writes one port's record at `entry` and its strings below `stringEnd`;
// returns the new string end.
LPBYTE PackEntry(const PortList* list, const PortRecord* record, DWORD level, LPBYTE entry,
                 LPBYTE stringEnd);

// Called, under the lock, for each port packed at a level that is not 1 or 2.
// The legacy entry point binds its "invalid level" box here; the modern one
// runs where no window is ever seen and binds nothing.
extern void (*invalidLevelNotice)();
