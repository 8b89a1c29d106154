// The store's one way to the registry: the monitor's key, opened for the span
// of one load or save. Each entry point binds where it leads: the legacy one
// to HKEY_LOCAL_MACHINE\<root> through advapi32 (the default), the modern one
// to the key and registry functions the spooler gives in MONITORINIT.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

class StoreKey {
public:
    StoreKey(LPCWSTR root, REGSAM access);
    ~StoreKey();
    StoreKey(const StoreKey&) = delete;
    StoreKey& operator=(const StoreKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    LSTATUS status() const { return status_; }

    LSTATUS Query(LPCWSTR name, LPBYTE data, LPDWORD bytes) const;
    LSTATUS Set(LPCWSTR name, const BYTE* data, DWORD bytes) const;
    LSTATUS Delete(LPCWSTR name) const;

private:
    HANDLE key_ = nullptr;
    LSTATUS status_ = ERROR_SUCCESS;
};

// From now on the key is `root` through `functions` (whatever root the store
// is given), until UnbindStore. Called under the monitor lock. False, and the
// store left on advapi32, when the functions are stubs that answer
// ERROR_CALL_NOT_IMPLEMENTED.
bool BindStore(const MONITORREG* functions, HANDLE root, HANDLE spooler);
void UnbindStore();
