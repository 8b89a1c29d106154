// The store's three writers. Each keeps one rule on the order of its writes:
// a value that holds a port is overwritten only once that port is stored
// under another value too, and the last value is deleted only after all
// writes. So stopping after any single write leaves every port stored (one
// maybe twice, which a load lists once), never lost.
// - Adding a port appends it, after clearing the values past its number,
//   which hold no port (store_append.cpp).
// - Deleting one moves the values above it down by one, lowest first, then
//   deletes the last (store_shift.cpp).
// - The whole list is written from 1 upwards (store_rewrite.cpp), which for a
//   list one change away from the store is the same order as the two above.
// Which one a change takes is decided in store_change.cpp.
#pragma once

#include "ports/port_list.h"
#include "ports/store_key.h"

// Stores the head, which the list gained since the store held it. On failure
// the store still holds the list without it.
LSTATUS AppendHead(const StoreKey& key, const PortList* list);

// Deletes `record`'s value by moving the values above it down by one and
// deleting the last. When a step fails, the moved values are written back so
// that the store again holds the list with `record`; *restored tells whether
// that went through (it is left alone on success).
LSTATUS ShiftOut(const StoreKey& key, const PortList* list, const PortRecord* record,
                 bool* restored);

// Writes the list whole, leaving out `skip` (a record not to be stored, or null).
LSTATUS WriteAll(const StoreKey& key, const PortList* list, const PortRecord* skip);
// Opens the key and writes the list whole, leaving out `skip`; records whether
// the store now mirrors the list so written.
LSTATUS SaveAll(PortList* list, LPCWSTR root, const PortRecord* skip);
