// Path helpers from the shell's lightweight utility library.
#include "layer_internal.h"

// Replaces the extension of the path's last component (from its last dot) or
// appends one; fails, changing nothing, when the result would pass MAX_PATH.
extern "C" BOOL WINAPI PathRenameExtensionW(LPWSTR path, LPCWSTR extension) {
    if (!path || !extension) return FALSE;
    size_t length = win32layer::detail::Length(path);
    size_t end = length;  // where the extension is written
    for (size_t i = length; i > 0; --i) {
        WCHAR c = path[i - 1];
        if (c == u'\\' || c == u'/' || c == u':' || c == u' ') break;
        if (c == u'.') {
            end = i - 1;
            break;
        }
    }
    size_t extensionLength = win32layer::detail::Length(extension);
    if (end + extensionLength >= MAX_PATH) return FALSE;
    for (size_t i = 0; i <= extensionLength; ++i) path[end + i] = extension[i];
    return TRUE;
}
