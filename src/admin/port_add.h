// Adding a port with no user interface: the folder is given by a program
// (AddPortEx, the configuration channel), never picked in a dialog.
#pragma once

#include <windows.h>

// Adds `folder` as a port under the rules AddPort keeps for a picked folder,
// and answers ERROR_SUCCESS or the Windows error code of the refusal:
// - "NORV" (any case) brings back the default port;
// - otherwise an absolute path ("X:\..." or "\\server\share\..."), made
//   canonical as GetFullPathNameW makes it and ended with one backslash:
//   ERROR_INVALID_NAME when it is relative, holds characters a file name
//   cannot, or is too long for a port; ERROR_PATH_NOT_FOUND when it is no
//   existing directory;
// - ERROR_ALREADY_EXISTS when any monitor of the spooler lists the name.
// Shows no window. A refusal leaves the list and the registry as they were.
DWORD AddFolderPort(LPCWSTR folder);

// Adds `name` only when it is already the name the port would be stored
// under: "NORV" exactly for the default port, or a folder that
// CanonicalPortName leaves unchanged, unit for unit. Anything else, "norv"
// included, is ERROR_INVALID_NAME with nothing changed. A caller that reports
// the name it sent as added (the Xcv "AddPort" command, whose name the spooler
// records) can then never disagree with the list after a restart.
DWORD AddExactPort(LPCWSTR name);
