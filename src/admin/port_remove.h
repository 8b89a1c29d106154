// Removing a port with no dialog, for the Xcv "DeletePort" command.
#pragma once

#include <windows.h>

// Removes the port named `name` from the list and the store, under the
// monitor lock. ERROR_SUCCESS; ERROR_UNKNOWN_PORT when no port has the name;
// the registry's error when stored ports could not be read or the save
// failed, and then nothing changed: the port is still listed and stored.
DWORD RemovePortByName(LPCWSTR name);
