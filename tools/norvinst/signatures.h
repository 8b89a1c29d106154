// The signature check of the DLLs that install copies into the system
// directory. A signed norvinst is trusted at the administrator's prompt; the
// folder it runs from is not, so it installs only DLLs signed with its own
// certificate. An unsigned norvinst says so, and checks nothing.
#pragma once

#include <windows.h>

// kExitOk when the DLL at `path` may be installed; kExitSignature, with the
// file and the reason told, when not. The first call says whether this
// norvinst is signed.
int CheckSignature(LPCWSTR path);
