#include "console.h"

#include <stdarg.h>

#include "common/wide_string.h"

namespace {

// Lines longer than this are cut; every path in them is shorter.
constexpr int kLineUnits = 2048;

void WriteUnits(HANDLE handle, LPCWSTR text, DWORD units) {
    if (units == 0) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text, units, &written, nullptr);
        return;
    }
    // UTF-8 in slices that fit the stack; a slice never ends inside a
    // surrogate pair.
    while (units > 0) {
        DWORD slice = units > 1024 ? 1024 : units;
        if (slice < units && text[slice - 1] >= 0xD800 && text[slice - 1] < 0xDC00) --slice;
        char bytes[1024 * 3];
        const int n = WideCharToMultiByte(CP_UTF8, 0, text, int(slice), bytes, sizeof bytes, nullptr, nullptr);
        if (n > 0) WriteFile(handle, bytes, DWORD(n), &written, nullptr);
        text += slice;
        units -= slice;
    }
}

// The messages use %ls and %u, with "-" and "*" for the columns of the port
// list. They are formatted here rather than by the C library's v*printf: a
// va_list is no portable thing to hand across a DLL boundary (Wine's ARM64
// msvcrt, built for Linux, reads another layout and crashes), and our own
// formatter needs no C runtime at all.
DWORD FormatLine(LPWSTR out, DWORD units, LPCWSTR format, va_list args) {
    DWORD n = 0;
    auto put = [&](WCHAR c) {
        if (n + 1 < units) out[n++] = c;
    };
    auto padded = [&](LPCWSTR text, int width, bool left) {
        const int length = int(WideLength(text));
        for (int pad = width - length; !left && pad > 0; --pad) put(L' ');
        for (; *text; ++text) put(*text);
        for (int pad = width - length; left && pad > 0; --pad) put(L' ');
    };
    for (LPCWSTR f = format; *f; ++f) {
        if (*f != L'%') {
            put(*f);
            continue;
        }
        LPCWSTR conversion = f + 1;
        const bool left = *conversion == L'-';
        if (left) ++conversion;
        int width = 0;
        if (*conversion == L'*') {
            width = va_arg(args, int);
            ++conversion;
        } else {
            for (; *conversion >= L'0' && *conversion <= L'9'; ++conversion) width = width * 10 + (*conversion - L'0');
        }
        if (conversion[0] == L'l' && conversion[1] == L's') {
            LPCWSTR text = va_arg(args, LPCWSTR);
            padded(text ? text : L"(null)", width, left);
            f = conversion + 1;
        } else if (conversion[0] == L'u') {
            WCHAR digits[16];
            FormatDecimal(va_arg(args, unsigned), digits);
            padded(digits, width, left);
            f = conversion;
        } else {
            put(L'%');
            if (f[1] == L'%') ++f;
        }
    }
    out[n] = 0;
    return n;
}

void WriteLine(HANDLE handle, LPCWSTR prefix, LPCWSTR format, va_list args) {
    WCHAR line[kLineUnits + 2];
    WideCopy(line, kLineUnits, prefix);
    const DWORD start = WideLength(line);
    DWORD length = start + FormatLine(line + start, kLineUnits - start, format, args);
    line[length++] = L'\n';
    WriteUnits(handle, line, length);
}

}  // namespace

void Write(HANDLE handle, LPCWSTR text) { WriteUnits(handle, text, WideLength(text)); }

void Out(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(GetStdHandle(STD_OUTPUT_HANDLE), L"", format, args);
    va_end(args);
}

void Err(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(GetStdHandle(STD_ERROR_HANDLE), L"norvinst: ", format, args);
    va_end(args);
}

LPCWSTR ErrorText(DWORD code, WCHAR (&text)[kErrorTextUnits]) {
    WCHAR number[24] = L"error ";
    FormatDecimal(code, number + 6);
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             kErrorTextUnits - 32, nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ' || text[n - 1] == L'.'))
        --n;
    if (n == 0) {
        WideCopy(text, kErrorTextUnits, number);
        return text;
    }
    text[n] = 0;
    WideAppend(text, kErrorTextUnits, L" (");
    WideAppend(text, kErrorTextUnits, number);
    WideAppend(text, kErrorTextUnits, L")");
    return text;
}
