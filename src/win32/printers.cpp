// Printers and their job queues, as the spooler client calls see them.
#include "layer_internal.h"

#include <winspool.h>

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR, LPHANDLE printer, LPPRINTER_DEFAULTSW) {
    if (printer) *printer = nullptr;
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
}

BOOL WINAPI SetJobW(HANDLE, DWORD, DWORD, LPBYTE, DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI ClosePrinter(HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

}  // extern "C"

namespace win32layer::detail {
void ResetPrinters() {}
}  // namespace win32layer::detail
