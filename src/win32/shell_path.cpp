// Path helpers from the shell's lightweight utility library.
#include "layer_internal.h"

namespace {

// Where the extension of the path's last component starts: its last dot, or
// the terminator when it has none. Only a backslash ends a component (a slash
// does not), and an extension cannot hold a space: "a.b c" has none, and that
// of "x.com/page" is ".com/page".
LPWSTR FindExtension(LPWSTR path) {
    LPWSTR dot = nullptr;
    LPWSTR p = path;
    for (; *p; ++p) {
        if (*p == u'\\' || *p == u' ') dot = nullptr;
        else if (*p == u'.') dot = p;
    }
    return dot ? dot : p;
}

}  // namespace

// Replaces the extension of the path's last component (from its last dot) or
// appends one; fails, changing nothing, when the result would pass MAX_PATH.
extern "C" BOOL WINAPI PathRenameExtensionW(LPWSTR path, LPCWSTR extension) {
    if (!path || !extension) return FALSE;
    LPWSTR end = FindExtension(path);
    size_t extensionLength = win32layer::detail::Length(extension);
    if (size_t(end - path) + extensionLength >= MAX_PATH) return FALSE;
    for (size_t i = 0; i <= extensionLength; ++i) end[i] = extension[i];
    return TRUE;
}
