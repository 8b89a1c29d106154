// UTF-16 string helpers. The monitor uses these instead of the C library's
// wide-string functions so that the same code runs where wchar_t is 32 bits.
#pragma once

#include <windows.h>

// Units in every string buffer of a port record, terminator included.
constexpr DWORD kPortStringUnits = MAX_PATH;

inline DWORD WideLength(LPCWSTR s) {
    DWORD n = 0;
    if (s)
        while (s[n]) ++n;
    return n;
}

// Copies src into dst of `capacity` units, cutting it to fit; always terminates.
inline void WideCopy(LPWSTR dst, DWORD capacity, LPCWSTR src) {
    if (capacity == 0) return;
    DWORD i = 0;
    if (src)
        for (; i + 1 < capacity && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
}

// Appends src to the string in dst, cutting it to fit `capacity` units.
inline void WideAppend(LPWSTR dst, DWORD capacity, LPCWSTR src) {
    DWORD length = WideLength(dst);
    if (length < capacity) WideCopy(dst + length, capacity - length, src);
}

inline WCHAR FoldCase(WCHAR c) { return (c >= 'A' && c <= 'Z') ? WCHAR(c - 'A' + 'a') : c; }

// Whole-string comparison ignoring the case of A-Z; null counts as empty.
inline bool WideEqualNoCase(LPCWSTR a, LPCWSTR b) {
    if (!a) a = TEXT("");
    if (!b) b = TEXT("");
    for (;; ++a, ++b) {
        if (FoldCase(*a) != FoldCase(*b)) return false;
        if (!*a) return true;
    }
}

// Writes the decimal digits of n, terminated; `digits` holds at least 11 units.
inline void FormatDecimal(DWORD n, LPWSTR digits) {
    WCHAR reversed[11];
    int count = 0;
    do {
        reversed[count++] = WCHAR('0' + n % 10);
        n /= 10;
    } while (n);
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    digits[count] = 0;
}
