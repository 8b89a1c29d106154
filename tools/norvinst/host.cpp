#include "host.h"

#include "machine.h"

namespace {

typedef BOOL(WINAPI* IsWow64Process2Proc)(HANDLE, USHORT*, USHORT*);
typedef BOOL(WINAPI* IsWow64ProcessProc)(HANDLE, PBOOL);

FARPROC Kernel32Function(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

}  // namespace

WORD NativeMachine() {
    // IsWow64Process2 (Windows 10 1709 on) tells ARM64 from x64; before it,
    // a WOW64 process is on x64.
    auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Proc>(reinterpret_cast<void (*)()>(Kernel32Function("IsWow64Process2")));
    USHORT process = 0, native = 0;
    if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &process, &native) && native != 0) return native;
    return UnderWow64() ? WORD(IMAGE_FILE_MACHINE_AMD64) : kMachine;
}

bool UnderWow64() {
    if (kMachine != IMAGE_FILE_MACHINE_I386) return false;
    auto isWow64 =
        reinterpret_cast<IsWow64ProcessProc>(reinterpret_cast<void (*)()>(Kernel32Function("IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

bool NativeSystemDirectory(WCHAR (&path)[kPathUnits]) {
    if (UnderWow64()) {
        const UINT n = GetWindowsDirectoryW(path, kPathUnits - 16);
        if (n == 0 || n >= kPathUnits - 16) return false;
        WideAppend(path, kPathUnits, L"\\Sysnative");
        return true;
    }
    const UINT n = GetSystemDirectoryW(path, kPathUnits);
    return n != 0 && n < kPathUnits;
}

bool Wow64SystemDirectory(WCHAR (&path)[kPathUnits]) {
    const UINT n = GetSystemWow64DirectoryW(path, kPathUnits);
    return n != 0 && n < kPathUnits;
}

void ModuleDirectory(WCHAR (&path)[kPathUnits]) {
    const DWORD n = GetModuleFileNameW(nullptr, path, kPathUnits);
    if (n == 0 || n >= kPathUnits) {
        WideCopy(path, kPathUnits, L".");
        return;
    }
    DWORD slash = n;
    while (slash > 0 && path[slash - 1] != L'\\' && path[slash - 1] != L'/') --slash;
    if (slash == 0) WideCopy(path, kPathUnits, L".");
    else path[slash - 1] = 0;
}
