// The port list's registry form: REG_SZ values named 1..N under the monitor's
// key (HKEY_LOCAL_MACHINE\<root>, or the spooler's key: see store_key.h),
// value N holding the head of the list.
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
