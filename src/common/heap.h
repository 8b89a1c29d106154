// Allocation on the process heap, never throwing: every allocation of the
// monitor goes through here, so a failure is a null pointer to handle.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

template <typename T, typename... Args>
T* HeapNew(Args&&... args) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    return memory ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

template <typename T>
void HeapDelete(T* object) {
    if (!object) return;
    object->~T();
    HeapFree(GetProcessHeap(), 0, object);
}

// A heap copy of s (an absent s gives the empty string), or null.
inline LPWSTR HeapCopyString(LPCWSTR s) {
    DWORD length = 0;
    if (s)
        while (s[length]) ++length;
    auto* copy = static_cast<LPWSTR>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(WCHAR)));
    if (!copy) return nullptr;
    for (DWORD i = 0; i < length; ++i) copy[i] = s[i];
    copy[length] = 0;
    return copy;
}

inline void HeapFreeString(LPWSTR s) {
    if (s) HeapFree(GetProcessHeap(), 0, s);
}
