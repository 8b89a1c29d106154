#include "system_library.h"

#include "host.h"
#include "system_files.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryProc)(LPCWSTR);

// True once SetDefaultDllDirectories took: Windows 8 on, and Windows Vista
// and 7 with KB2533623.
bool searchFlags = false;

}  // namespace

void RestrictDllSearch() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = FunctionOf<SetDefaultDllDirectoriesProc>(kernel, "SetDefaultDllDirectories");
    searchFlags = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (searchFlags) return;
    // Older Windows: LoadSystemLibrary uses full paths; this at least takes
    // the current directory out of the search for what Windows itself loads.
    auto setDirectory = FunctionOf<SetDllDirectoryProc>(kernel, "SetDllDirectoryW");
    if (setDirectory) setDirectory(L"");
}

HMODULE LoadSystemLibrary(LPCWSTR name) {
    if (searchFlags) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The full path; with LOAD_WITH_ALTERED_SEARCH_PATH the DLL's own imports
    // are searched for in its folder, the system directory, first as well.
    WCHAR system[kPathUnits], path[kPathUnits];
    const UINT n = GetSystemDirectoryW(system, kPathUnits);
    if (n == 0 || n >= kPathUnits) {
        if (n != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    JoinPath(path, system, name);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
