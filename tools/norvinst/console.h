// Console output: the console's own wide text, or UTF-8 with "\n" line ends
// when redirected to a file or a pipe.
#pragma once

#include <windows.h>

// Writes text as it is.
void Write(HANDLE handle, LPCWSTR text);

// printf-style lines on standard output, and on standard error after "norvinst: ".
void Out(LPCWSTR format, ...);
void Err(LPCWSTR format, ...);

// Units of an ErrorText buffer.
constexpr DWORD kErrorTextUnits = 512;

// The system's message for code followed by its number, or "error N".
LPCWSTR ErrorText(DWORD code, WCHAR (&text)[kErrorTextUnits]);

// Holds one ErrorText for the duration of a call: Err(L"%ls", ErrorMessage(e).text).
struct ErrorMessage {
    explicit ErrorMessage(DWORD code) { ErrorText(code, text); }
    WCHAR text[kErrorTextUnits];
};
