// Shell path helpers the monitor uses, off Windows.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

BOOL WINAPI PathRenameExtensionW(LPWSTR path, LPCWSTR extension);

#ifdef __cplusplus
}
#endif
