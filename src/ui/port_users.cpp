#include "ui/port_users.h"

#include <winspool.h>

namespace {

// True when the comma-separated `ports` (a printer's pPortName, where the
// spooler may put a space after each comma) holds `port`.
bool ListHolds(LPCWSTR ports, LPCWSTR port) {
    const DWORD portUnits = WideLength(port);
    while (ports && *ports) {
        while (*ports == ' ') ++ports;
        DWORD units = 0;
        while (ports[units] && ports[units] != ',') ++units;
        DWORD trimmed = units;
        while (trimmed && ports[trimmed - 1] == ' ') --trimmed;
        if (WideEqualNoCase(ports, trimmed, port, portUnits)) return true;
        ports += units;
        if (*ports) ++ports;
    }
    return false;
}

}  // namespace

DWORD CheckNoPrinterUses(LPCWSTR port, WCHAR (&printer)[kPortStringUnits]) {
    printer[0] = 0;
    DWORD needed = 0;
    DWORD returned = 0;
    LPBYTE buffer = nullptr;
    DWORD error = ERROR_SUCCESS;
    // A printer added between the two calls needs a larger buffer: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 5, buffer, buffer ? needed : 0, &needed,
                          &returned)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) break;
        if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
        buffer = static_cast<LPBYTE>(HeapAlloc(GetProcessHeap(), 0, needed));
        if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error == ERROR_SUCCESS && buffer) {
        const auto* printers = reinterpret_cast<const PRINTER_INFO_5W*>(buffer);
        for (DWORD i = 0; i < returned; ++i) {
            if (ListHolds(printers[i].pPortName, port)) {
                WideCopy(printer, kPortStringUnits, printers[i].pPrinterName);
                error = ERROR_BUSY;
                break;
            }
        }
    }
    if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
    return error;
}
