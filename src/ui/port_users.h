// Which local printers print to a port, from the spooler's own list.
#pragma once

#include <windows.h>

#include "common/wide_string.h"

// ERROR_SUCCESS when no local printer prints to `port`; ERROR_BUSY, with the
// first such printer's name in `printer`, when one does; the listing's own
// error when the printers cannot be listed, so that no port is removed
// unchecked. Names compare ignoring case, as the spooler compares them.
DWORD CheckNoPrinterUses(LPCWSTR port, WCHAR (&printer)[kPortStringUnits]);
