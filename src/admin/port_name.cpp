#include "admin/port_name.h"

namespace {

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(WCHAR c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Characters no Windows file name can hold.
bool IsBadNameCharacter(WCHAR c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*';
}

}  // namespace

bool HoldsComma(LPCWSTR name) {
    for (; *name; ++name)
        if (*name == ',') return true;
    return false;
}

DWORD RootLength(LPCWSTR path) {
    if (IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return 3;
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    DWORD i = 2;
    const DWORD server = i;
    while (path[i] && !IsSeparator(path[i])) ++i;
    if (i == server || (i == server + 1 && (path[server] == '.' || path[server] == '?'))) return 0;
    if (!path[i]) return 0;
    const DWORD share = ++i;
    while (path[i] && !IsSeparator(path[i])) ++i;
    if (i == share) return 0;
    return path[i] ? i + 1 : i;
}

DWORD CanonicalPortName(LPCWSTR folder, WCHAR (&name)[kPortStringUnits]) {
    if (!RootLength(folder)) return ERROR_INVALID_NAME;
    const DWORD length = GetFullPathNameW(folder, kPortStringUnits, name, nullptr);
    if (length == 0 || length >= kPortStringUnits) return ERROR_INVALID_NAME;
    // The canonical form must still be a folder path: Windows turns a
    // reserved device name such as "C:\Out\NUL" into "\\.\NUL".
    const DWORD root = RootLength(name);
    if (!root) return ERROR_INVALID_NAME;
    for (DWORD i = root == 3 ? 3 : 2; i < length; ++i)
        if (IsBadNameCharacter(name[i])) return ERROR_INVALID_NAME;
    if (HoldsComma(name)) return ERROR_INVALID_NAME;
    if (name[length - 1] != '\\') {
        if (length + 1 >= kPortStringUnits) return ERROR_INVALID_NAME;
        name[length] = '\\';
        name[length + 1] = 0;
    }
    return ERROR_SUCCESS;
}
