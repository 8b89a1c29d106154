// The port list's registry form: REG_SZ values named 1..N under the monitor's
// key (HKEY_LOCAL_MACHINE\<root>, or the spooler's key: see store_key.h),
// value N holding the head of the list. Every change is saved through here,
// under the monitor lock; while the store mirrors the list value for value
// (PortList::storeMirrorsList), a change writes only the values it moves.
// Each job has its file: store_load.cpp, store_complete.cpp, store_change.cpp,
// and the writers with their rule on the write order, store_writes.h.
#pragma once

#include "ports/port_list.h"

// Adds one record per stored value, in stored order; a name stored under two
// values is listed once, from the lower. Registry failures are silent; false
// when one kept stored ports from being read, so that the list must not be
// written back over them (the list remembers it too).
bool LoadPorts(PortList* list, LPCWSTR root);
// Called under the monitor lock before a change that will be saved. After an incomplete
// load, reads the store again: the ports it missed rejoin the list at their stored places
// (records already in the list keep their addresses: the spooler may hold them as handles).
// ERROR_SUCCESS when the list now holds every stored port; otherwise the registry's error
// code (or ERROR_NOT_ENOUGH_MEMORY), and the list is unchanged.
LSTATUS CompleteFromStore(PortList* list, LPCWSTR root);
// Replaces the stored values by the list's content. ERROR_SUCCESS, or the
// code of the registry call that stopped it: then some ports may be stored
// twice, none is lost, and the change may not last past a restart.
LSTATUS SavePorts(PortList* list, LPCWSTR root);
// Stores the record already put in front of the list. Unlike InsertAndStore,
// the record stays listed whatever the outcome. ERROR_SUCCESS or the
// registry's code.
LSTATUS StoreListedHead(PortList* list, LPCWSTR root);
// Puts a port in front of the list (Insert's arguments) and stores it.
// ERROR_SUCCESS; ERROR_NOT_ENOUGH_MEMORY when no record could be made; or the
// registry's code, and then the port is not listed and the store holds the
// list without it, unless not even the rewrite of the list without it went
// through: then *storeInDoubt (when given) is set, for the store may hold the
// port all the same.
LSTATUS InsertAndStore(PortList* list, LPCWSTR root, LPCWSTR name, bool isDefault,
                       bool* storeInDoubt = nullptr);
// Takes the port `name` names (as Find) out of the store, then out of the
// list. ERROR_SUCCESS; ERROR_UNKNOWN_PORT when no port has the name; or the
// registry's code, and then the port is still listed and still stored (the
// values moved before the failure are written back, or else the list is
// written whole), unless neither went through: then *storeInDoubt (when
// given) is set, for the store may have lost the port.
LSTATUS RemoveAndStore(PortList* list, LPCWSTR root, LPCWSTR name, bool* storeInDoubt = nullptr);
