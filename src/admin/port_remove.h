// Removing a port with no dialog, for the Xcv "DeletePort" command.
#pragma once

#include <windows.h>

// Removes the port named `name` from the list and the store, under the
// monitor lock. ERROR_SUCCESS, or ERROR_UNKNOWN_PORT when no port has the name.
DWORD RemovePortByName(LPCWSTR name);
