// Test control surface of the Win32 layer: lets a test play the machine the
// monitor runs on (registry contents, temp path, failing calls) and inspect
// what the monitor did to it. Only tests and native tools include this.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace win32layer {

// Calls that can be made to fail. Counting is per call of the API by anyone.
enum class Api {
    RegOpenKeyExW,
    RegQueryValueExW,
    RegSetValueExW,
    RegDeleteValueW,
    RegCloseKey,
    HeapAlloc,
    GetTempPathW,
    CreateEventW,
    OpenPrinterW,
    SetJobW,
    ClosePrinter,
    LoadLibraryW,
    GetProcAddress,
    EnumPortsW,
    SHBrowseForFolderW,
    SHGetPathFromIDListW,
    SHGetMalloc,
    EnumPrintersW,
    GlobalAlloc,
    Count
};
const char* ApiName(Api api);

// Back to a fresh machine: empty registry, default temp path, no faults, no
// recorded calls. Heap blocks still allocated stay counted.
void Reset();

// The nth call of `api` from now fails (1 = the next one) with `error`
// (0: the API's usual failure code). FailEvery makes every call fail.
void FailCall(Api api, unsigned nth = 1, DWORD error = 0);
void FailEvery(Api api, DWORD error = 0);
void ClearFaults();
unsigned CallCount(Api api);
// Fault injection across all APIs: the k-th faultable call from now fails.
void FailNthCall(unsigned k);
unsigned TotalCallCount();

// ---- Registry (paths are relative to HKEY_LOCAL_MACHINE, case-insensitive) ----
struct RegistryValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    // The data read as UTF-16 up to its first NUL (or its end).
    std::u16string AsString() const;
};
void RegistryCreateKey(const std::u16string& path);
bool RegistryKeyExists(const std::u16string& path);
void RegistryDeleteKey(const std::u16string& path);
void RegistrySetValue(const std::u16string& path, const std::u16string& name, DWORD type,
                      const void* data, size_t bytes);
// Stores a REG_SZ value; with terminate=false the NUL is left out, as some writers do.
void RegistrySetString(const std::u16string& path, const std::u16string& name,
                       const std::u16string& value, bool terminate = true);
std::vector<RegistryValue> RegistryValues(const std::u16string& path);
std::optional<RegistryValue> RegistryGetValue(const std::u16string& path,
                                              const std::u16string& name);
// Number of values changed (set or deleted) since the last Reset.
unsigned RegistryChangeCount();
// A crash after the next `writes` value changes: every set or delete of a
// value after them is refused (ERROR_ACCESS_DENIED) and changes nothing,
// until ClearFaults or Reset.
void FreezeRegistryAfter(unsigned writes);
// Registry keys opened and not yet closed.
size_t OpenKeyCount();

// ---- Kernel ----
// What GetTempPathW reports. The layer follows the Windows protocol: a path
// that does not fit the caller's buffer is not copied and its size, terminator
// included, is returned.
void SetTempPath(const std::u16string& path);
// What GetComputerNameW reports; "THISPC" after Reset.
void SetComputerName(const std::u16string& name);
// The Windows version GetVersionExW reports (6.2 until set, as Windows 8 and
// later report it to programs without a manifest).
void SetWindowsVersion(DWORD major, DWORD minor);
// Heap blocks from HeapAlloc and GlobalAlloc not yet freed.
size_t LiveHeapBlocks();
// Kernel object handles (events) open.
size_t OpenHandleCount();
bool EventExists(const std::u16string& name);
// DisableThreadLibraryCalls was called for this module.
bool ThreadCallsDisabled(HMODULE module);
// Critical sections the calling thread holds now, to check what runs under a lock.
int CriticalSectionsHeld();

// ---- User interface ----
struct MessageBoxCall {
    HWND owner = nullptr;
    std::u16string text;
    std::u16string caption;
    UINT type = 0;
    bool lockHeld = false;  // the caller held a critical section while the box was up
};
std::vector<MessageBoxCall> MessageBoxes();
void ClearMessageBoxes();

// The user's and the system's UI languages, which pick the string table a
// neutral resource lookup finds (after the thread's, SetThreadUILanguage).
// Reset makes both en-US and clears the calling thread's.
void SetUiLanguages(LANGID user, LANGID system);

// UTF-8 helpers for readable test code and messages.
std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& utf16);

}  // namespace win32layer
