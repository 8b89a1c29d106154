#include "related_products.h"

#include "common/wide_string.h"
#include "system_library.h"

namespace {

typedef UINT(WINAPI* EnumRelatedProductsProc)(LPCWSTR, DWORD, DWORD, LPWSTR);

bool IsHexDigit(WCHAR c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

bool IsBracedGuid(LPCWSTR text) {
    if (WideLength(text) != kGuidUnits - 1 || text[0] != '{' || text[kGuidUnits - 2] != '}') return false;
    for (DWORD i = 1; i < kGuidUnits - 2; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !IsHexDigit(text[i])) return false;
    }
    return true;
}

// msi.dll is loaded only here, so that norvinst starts where Windows
// Installer is missing, and from the system directory alone.
DWORD FindRelatedProduct(LPCWSTR upgradeCode, LPCWSTR productCode, WCHAR (&other)[kGuidUnits]) {
    HMODULE msi = LoadSystemLibrary(L"msi.dll");
    if (!msi) return GetLastError();
    auto enumRelated = FunctionOf<EnumRelatedProductsProc>(msi, "MsiEnumRelatedProductsW");
    DWORD result = enumRelated ? DWORD(ERROR_NO_MORE_ITEMS) : DWORD(ERROR_PROC_NOT_FOUND);
    for (DWORD index = 0; enumRelated; ++index) {
        const UINT status = enumRelated(upgradeCode, 0, index, other);
        if (status != ERROR_SUCCESS) {
            result = status;
            break;
        }
        if (!WideEqualNoCase(other, productCode)) {
            result = ERROR_SUCCESS;
            break;
        }
    }
    FreeLibrary(msi);
    return result;
}
