// Packing the port list into a spooler's buffer as PORT_INFO_1 or PORT_INFO_2
// records: records from the start upwards, their strings from the end down.
#pragma once

#include "ports/port_list.h"

// Bytes the whole list needs at `level`, from the kept count and name
// lengths; 0 at a level that is not 1 or 2.
unsigned long long ListSize(const PortList* list, DWORD level);
// Writes one port's record at `entry` and its strings below `stringEnd`;
// returns the new string end. At level 2 the room for the monitor name and
// the description is only set aside: PackSharedStrings fills it.
LPBYTE PackEntry(const PortList* list, const PortRecord* record, DWORD level, LPBYTE entry,
                 LPBYTE stringEnd);

// Called, under the lock, for each port packed at a level that is not 1 or 2.
// The legacy entry point binds its "invalid level" box here; the modern one
// runs where no window is ever seen and binds nothing.
extern void (*invalidLevelNotice)();
// Copies the monitor name and the description into the room the `count`
// level-2 records at `entries` point at. Apart from the record walk, where
// the copies would wait on each record's memory.
void PackSharedStrings(const PortList* list, LPBYTE entries, DWORD count);
