// A DLL planted beside a program (scripts/wine/planting_test.sh builds it as
// msi.dll and as winspool.drv): whatever loads it makes it leave the file
// "<its own path>.loaded" beside itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    WCHAR path[MAX_PATH + 8];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    lstrcatW(path, L".loaded");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return TRUE;
}
