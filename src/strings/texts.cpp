#include "strings/texts.h"

#include "common/wide_string.h"

namespace {

// The module this code is linked into: its resources hold the tables.
HMODULE TextModule() {
    static const int anchor = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &module))
        return nullptr;
    return module;
}

// Appends what fits of `units` units of `text` behind `*length` units.
void Put(LPWSTR buffer, DWORD capacity, DWORD* length, LPCWSTR text, DWORD units) {
    for (DWORD i = 0; i < units && *length + 1 < capacity; ++i) buffer[(*length)++] = text[i];
}

}  // namespace

void LoadText(UINT id, LPWSTR buffer, DWORD units) {
    if (!units) return;
    if (LoadStringW(TextModule(), id, buffer, int(units)) <= 0) buffer[0] = 0;
}

void FormatText(UINT id, LPWSTR buffer, DWORD units, LPCWSTR first, LPCWSTR second) {
    if (!units) return;
    // cchBufferMax 0: the text in the resource itself, read-only and unterminated.
    LPCWSTR text = nullptr;
    const int found = LoadStringW(TextModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    const DWORD textUnits = found > 0 && text ? DWORD(found) : 0;
    DWORD length = 0;
    for (DWORD i = 0; i < textUnits; ++i) {
        const WCHAR next = i + 1 < textUnits ? text[i + 1] : 0;
        if (text[i] == '%' && (next == '1' || next == '2')) {
            LPCWSTR insert = next == '1' ? first : second;
            if (insert) Put(buffer, units, &length, insert, WideLength(insert));
            ++i;
        } else {
            Put(buffer, units, &length, text + i, 1);
        }
    }
    buffer[length] = 0;
}
