#include "admin/port_check.h"

#include <winspool.h>

#include "monitor/lock.h"
#include "monitor/state.h"

namespace {

typedef BOOL(WINAPI* EnumPortsProc)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

// The spooler's EnumPortsW, loading its library on first need. The lock makes
// two racing calls load it once; it is never held while the spooler runs.
EnumPortsProc SpoolerEnumPorts() {
    MonitorLock lock;
    if (!spoolerModule) spoolerModule = LoadLibraryW(TEXT("SPOOLSS.DLL"));
    if (!spoolerModule) return nullptr;
    FARPROC proc = GetProcAddress(spoolerModule, "EnumPortsW");
    if (!proc) {
        FreeLibrary(spoolerModule);
        spoolerModule = nullptr;
        return nullptr;
    }
    return reinterpret_cast<EnumPortsProc>(reinterpret_cast<void (*)()>(proc));
}

// A heap buffer for the spooler's answer, freed on every path.
class HeapBuffer {
public:
    explicit HeapBuffer(DWORD bytes)
        : data_(static_cast<LPBYTE>(HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1))) {}
    ~HeapBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    LPBYTE get() const { return data_; }

private:
    LPBYTE data_;
};

}  // namespace

bool PortNameIsTaken(LPCWSTR name) {
    EnumPortsProc enumPorts = SpoolerEnumPorts();
    if (!enumPorts) return true;

    DWORD needed = 0;
    DWORD returned = 0;
    SetLastError(ERROR_SUCCESS);
    // Success with no buffer means the spooler has no ports at all.
    if (enumPorts(nullptr, 1, nullptr, 0, &needed, &returned)) return false;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return true;

    HeapBuffer buffer(needed);
    if (!buffer.get()) return true;
    if (!enumPorts(nullptr, 1, buffer.get(), needed, &needed, &returned)) return true;

    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.get());
    for (DWORD i = 0; i < returned; ++i)
        if (WideEqualNoCase(name, ports[i].pName)) return true;
    return false;
}
