// The port list's registry form: REG_SZ values named 1..N under
// HKEY_LOCAL_MACHINE\<root>, value N holding the head of the list.
#pragma once

#include "ports/port_list.h"

// Adds one record per stored value, in stored order. Registry failures are
// silent; false when one kept stored ports from being read, so that the list
// must not be written back over them.
bool LoadPorts(PortList* list, LPCWSTR root);
// Replaces the stored values by the list's content. Registry failures are silent.
void SavePorts(PortList* list, LPCWSTR root);
