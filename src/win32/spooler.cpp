// The spooler's own library, as the monitor loads it for the duplicate check.
#include "layer_internal.h"

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE) { return TRUE; }

}  // extern "C"

namespace win32layer::detail {
void ResetSpooler() {}
}  // namespace win32layer::detail
