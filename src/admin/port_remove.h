// Removing a port with no dialog, for the Xcv "DeletePort" command.
#pragma once

#include <windows.h>

// Removes the port named `name` from the list and the store, under the
// monitor lock. ERROR_SUCCESS; ERROR_UNKNOWN_PORT when no port has the name;
// the registry's error when stored ports could not be read (nothing changed)
// or when the save failed (the port is gone from the list, maybe not from the
// store).
DWORD RemovePortByName(LPCWSTR name);
