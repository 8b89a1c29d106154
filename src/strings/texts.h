// The monitor's texts, loaded by id from the string table of the DLL that
// shows them, in the language Windows' resource loader picks for the calling
// thread (English where the DLL has no table for it).
#pragma once

#include <windows.h>

#include "strings/string_ids.h"

// The text of `id` in `buffer`, cut to fit; empty if the DLL lacks it.
void LoadText(UINT id, LPWSTR buffer, DWORD units);
template <DWORD units>
void LoadText(UINT id, WCHAR (&buffer)[units]) {
    LoadText(id, buffer, units);
}

// The text of `id` with %1 and %2 replaced by `first` and `second` (taken as
// they are, a % in them included), cut to fit `units`.
void FormatText(UINT id, LPWSTR buffer, DWORD units, LPCWSTR first, LPCWSTR second = nullptr);
