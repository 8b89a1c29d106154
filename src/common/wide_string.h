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

// Unit for unit, case included; null counts as empty.
inline bool WideEqual(LPCWSTR a, LPCWSTR b) {
    if (!a) a = TEXT("");
    if (!b) b = TEXT("");
    for (;; ++a, ++b) {
        if (*a != *b) return false;
        if (!*a) return true;
    }
}

// Names compare as Windows compares file names: ordinal, ignoring case unit by
// unit through the system's upper-case mapping, so that C:\ÄRZTE\ and
// C:\ärzte\ are one folder. CompareStringOrdinal does that from Windows
// Vista on; the systems before it lack the function, so it is looked up at run
// time and CharUpperBuffW, unit by unit, stands in where it is missing.
typedef int(WINAPI* CompareOrdinalProc)(LPCWSTR, int, LPCWSTR, int, BOOL);
inline CompareOrdinalProc systemCompareOrdinal = nullptr;

// Looks the system's comparison up. Called at process attach, before any
// other thread of the module can compare names.
inline void LoadNameComparison() {
    HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
    FARPROC proc = kernel ? GetProcAddress(kernel, "CompareStringOrdinal") : nullptr;
    systemCompareOrdinal =
        reinterpret_cast<CompareOrdinalProc>(reinterpret_cast<void (*)()>(proc));
}

inline WCHAR FoldAscii(WCHAR c) { return (c >= 'A' && c <= 'Z') ? WCHAR(c - 'A' + 'a') : c; }

// Two names of `units` units each. Any upper-case mapping maps ASCII to ASCII
// as A-Z folding does, so two ASCII units that differ after folding settle a
// pair without the system; looking from the end finds where sibling folders
// differ at once.
inline bool WideEqualNoCaseUnits(LPCWSTR a, LPCWSTR b, DWORD units) {
    bool exact = true;
    for (DWORD i = units; i-- > 0;) {
        const WCHAR x = a[i], y = b[i];
        if (x == y) continue;
        if (x < 0x80 && y < 0x80 && FoldAscii(x) != FoldAscii(y)) return false;
        exact = false;
    }
    if (exact) return true;
    if (systemCompareOrdinal)
        return systemCompareOrdinal(a, int(units), b, int(units), TRUE) == CSTR_EQUAL;
    for (DWORD i = 0; i < units; ++i) {
        WCHAR x = a[i], y = b[i];
        if (x == y) continue;
        CharUpperBuffW(&x, 1);
        CharUpperBuffW(&y, 1);
        if (x != y) return false;
    }
    return true;
}

// Equal names ignoring case have the same length in UTF-16 units: lengths
// known beforehand settle most pairs before any unit is read.
inline bool WideEqualNoCase(LPCWSTR a, DWORD aUnits, LPCWSTR b, DWORD bUnits) {
    return aUnits == bUnits && WideEqualNoCaseUnits(a, b, aUnits);
}

// Whole-string comparison ignoring case; null counts as empty.
inline bool WideEqualNoCase(LPCWSTR a, LPCWSTR b) {
    if (!a) a = TEXT("");
    if (!b) b = TEXT("");
    return WideEqualNoCase(a, WideLength(a), b, WideLength(b));
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
