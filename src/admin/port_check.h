// The duplicate check for a new port, made against every port of every
// monitor through the spooler.
#pragma once

#include <windows.h>

// True when `name` must not be used for a new port, including when the check
// could not be made.
bool PortNameIsTaken(LPCWSTR name);
