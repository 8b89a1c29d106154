// Contract: a port's name is CanonicalPortName of its folder, and every
// program that names a port (the monitors, the UI DLL, the installer) compiles
// this file so they all agree. It needs only Windows and src/common.
#pragma once

#include <windows.h>

#include "common/wide_string.h"

// Units of the root a path starts with: 3 for "X:\", the length of
// "\\server\share\" for a UNC path; 0 when the path is not absolute in one of
// those forms (relative, rooted on the current drive, drive-relative, or a
// device path such as \\.\ or \\?\).
DWORD RootLength(LPCWSTR path);

// A printer's ports are one comma-separated string, so a name with a comma
// would read as two ports. New ports never hold one; a stored one, from an
// older version, is still listed and can be deleted.
bool HoldsComma(LPCWSTR name);

// `name` receives the absolute `folder` made canonical as GetFullPathNameW
// makes it, ended with one backslash: ERROR_SUCCESS, or ERROR_INVALID_NAME when
// it is relative, holds characters a file name cannot or a comma, or is too
// long for a port. Never looks at the disk; the default port "NORV" is no folder.
DWORD CanonicalPortName(LPCWSTR folder, WCHAR (&name)[kPortStringUnits]);
