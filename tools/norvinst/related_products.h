// Windows Installer's products of one upgrade code: an installer package that
// is being removed asks whether another product of its line takes over.
#pragma once

#include <windows.h>

// A product code in braces, terminator included.
constexpr DWORD kGuidUnits = 39;

// True for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in hexadecimal digits.
bool IsBracedGuid(LPCWSTR text);

// ERROR_SUCCESS with `other` set when a product of upgradeCode other than
// productCode is installed, ERROR_NO_MORE_ITEMS when none is, or the error
// that kept Windows Installer from answering.
DWORD FindRelatedProduct(LPCWSTR upgradeCode, LPCWSTR productCode, WCHAR (&other)[kGuidUnits]);
