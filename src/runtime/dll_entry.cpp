// The loader's entry into a DLL built with no C runtime: static constructors
// before DllMain sees the attach, static destructors after it saw the detach.
#include <windows.h>

#include "runtime/static_init.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) runtime::RunConstructors();
    BOOL result = DllMain(module, reason, reserved);
    // Whether the loader still sends a detach after a failed attach varies:
    // clean up now; the destructors run once either way.
    if (reason == DLL_PROCESS_DETACH || (reason == DLL_PROCESS_ATTACH && !result)) {
        runtime::RunDestructors();
    }
    return result;
}
