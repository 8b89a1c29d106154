// The shell's folder browser and allocator, scripted by tests.
#include "layer_internal.h"

#include <shlobj.h>

extern "C" {

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW) { return nullptr; }

BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE, LPWSTR path) {
    if (path) path[0] = 0;
    return FALSE;
}

HRESULT WINAPI SHGetMalloc(LPMALLOC* allocator) {
    if (allocator) *allocator = nullptr;
    return E_FAIL;
}

void WINAPI CoTaskMemFree(LPVOID) {}

}  // extern "C"

namespace win32layer::detail {
void ResetShell() {}
}  // namespace win32layer::detail
