// The commands of a zip install: the DLLs copied into the system directory
// and registered, removed again, and the state of both shown.
#pragma once

#include "forms.h"

// chosen: the form asked for, or null; source: the DLL named, or null for
// the one beside norvinst.exe.
int Install(const Form* chosen, LPCWSTR source);
int Uninstall();
int Status();
