// The spooler's side of the modern interface: Xcv handles on a hosted MONITOR2
// and the registry functions of MONITORINIT.
#include <map>
#include <memory>
#include <mutex>

#include "layer_internal.h"
#include "xcv_control.h"

using namespace win32layer;

namespace {

constexpr char16_t kXcvMonitorPrefix[] = u",XcvMonitor ";
constexpr ACCESS_MASK kAdministrator = SERVER_ACCESS_ADMINISTER | SERVER_ACCESS_ENUMERATE;

struct Hosted {
    LPMONITOR2 table = nullptr;
    HANDLE monitor = nullptr;
    std::u16string name;
};

std::mutex xcvMutex;
Hosted hosted;
ACCESS_MASK clientAccess = kAdministrator;
std::vector<XcvOpenCall> openCalls;
// Printer handles that are Xcv handles, and the monitor's handle behind each.
std::map<HANDLE, HANDLE> xcvHandles;
char xcvHandleSpace[64];
unsigned nextXcv = 0;
unsigned regCalls = 0;
bool regStubbed = false;

Hosted Current() {
    std::lock_guard<std::mutex> guard(xcvMutex);
    return hosted;
}

// Counts a call; true when the functions are stubs.
bool CountRegCall() {
    std::lock_guard<std::mutex> guard(xcvMutex);
    ++regCalls;
    return regStubbed;
}

LONG WINAPI RegCreate(HANDLE, LPCWSTR, DWORD, REGSAM, PSECURITY_ATTRIBUTES, PHANDLE, PDWORD, HANDLE);
LONG WINAPI RegOpen(HANDLE key, LPCWSTR sub, REGSAM access, PHANDLE result, HANDLE) {
    if (CountRegCall()) return ERROR_CALL_NOT_IMPLEMENTED;
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExW(static_cast<HKEY>(key), sub, 0, access, &opened);
    *result = opened;
    return status;
}
LONG WINAPI RegClose(HANDLE key, HANDLE) {
    if (CountRegCall()) return ERROR_CALL_NOT_IMPLEMENTED;
    return RegCloseKey(static_cast<HKEY>(key));
}
LONG WINAPI RegSet(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD bytes, HANDLE) {
    if (CountRegCall()) return ERROR_CALL_NOT_IMPLEMENTED;
    return RegSetValueExW(static_cast<HKEY>(key), name, 0, type, data, bytes);
}
LONG WINAPI RegDelete(HANDLE key, LPCWSTR name, HANDLE) {
    if (CountRegCall()) return ERROR_CALL_NOT_IMPLEMENTED;
    return RegDeleteValueW(static_cast<HKEY>(key), name);
}
LONG WINAPI RegQuery(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD bytes, HANDLE) {
    if (CountRegCall()) return ERROR_CALL_NOT_IMPLEMENTED;
    return RegQueryValueExW(static_cast<HKEY>(key), name, nullptr, type, data, bytes);
}
// Key creation, deletion and enumeration: no monitor of ours uses them.
LONG WINAPI RegCreate(HANDLE, LPCWSTR, DWORD, REGSAM, PSECURITY_ATTRIBUTES, PHANDLE, PDWORD, HANDLE) {
    return ERROR_NOT_SUPPORTED;
}
LONG WINAPI RegDeleteKey(HANDLE, LPCWSTR, HANDLE) { return ERROR_NOT_SUPPORTED; }
LONG WINAPI RegEnumKey(HANDLE, DWORD, LPWSTR, PDWORD, PFILETIME, HANDLE) { return ERROR_NOT_SUPPORTED; }
LONG WINAPI RegQueryInfo(HANDLE, PDWORD, PDWORD, PDWORD, PDWORD, PDWORD, PDWORD, PFILETIME, HANDLE) {
    return ERROR_NOT_SUPPORTED;
}
LONG WINAPI RegEnumValue(HANDLE, DWORD, LPWSTR, PDWORD, PDWORD, PBYTE, PDWORD, HANDLE) {
    return ERROR_NOT_SUPPORTED;
}

const MONITORREG monitorReg = {
    sizeof(MONITORREG), RegCreate, RegOpen,  RegClose,     RegDeleteKey, RegEnumKey,
    RegQueryInfo,       RegSet,    RegDelete, RegEnumValue, RegQuery,
};

}  // namespace

namespace win32layer::detail {

bool IsXcvName(LPCWSTR name) {
    if (!name) return false;
    std::u16string given(name);
    return given.compare(0, sizeof(kXcvMonitorPrefix) / 2 - 1, kXcvMonitorPrefix) == 0;
}

BOOL OpenXcv(LPCWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    *printer = nullptr;
    const Hosted current = Current();
    const std::u16string monitorName = std::u16string(name).substr(sizeof(kXcvMonitorPrefix) / 2 - 1);
    if (!current.table || Lower(monitorName) != Lower(current.name)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    const ACCESS_MASK wanted = defaults ? defaults->DesiredAccess : SERVER_ACCESS_ENUMERATE;
    ACCESS_MASK allowed;
    {
        std::lock_guard<std::mutex> guard(xcvMutex);
        allowed = clientAccess;
    }
    if (wanted & ~allowed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    HANDLE monitorXcv = nullptr;
    if (!current.table->pfnXcvOpenPort(current.monitor, monitorName.c_str(), wanted, &monitorXcv))
        return FALSE;
    std::lock_guard<std::mutex> guard(xcvMutex);
    openCalls.push_back(XcvOpenCall{monitorName, wanted});
    HANDLE handle = &xcvHandleSpace[nextXcv++ % sizeof(xcvHandleSpace)];
    xcvHandles[handle] = monitorXcv;
    *printer = handle;
    return TRUE;
}

bool CloseXcv(HANDLE printer) {
    HANDLE monitorXcv;
    {
        std::lock_guard<std::mutex> guard(xcvMutex);
        auto found = xcvHandles.find(printer);
        if (found == xcvHandles.end()) return false;
        monitorXcv = found->second;
        xcvHandles.erase(found);
    }
    const Hosted current = Current();
    if (current.table) current.table->pfnXcvClosePort(monitorXcv);
    return true;
}

// The hosted modern monitor's ports, level 1; true when there is none.
bool ModernMonitorPorts(std::vector<std::u16string>* names) {
    const Hosted current = Current();
    if (!current.table) return true;
    DWORD needed = 0, returned = 0;
    if (current.table->pfnEnumPorts(current.monitor, nullptr, 1, nullptr, 0, &needed, &returned))
        return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    std::vector<BYTE> buffer(needed);
    if (!current.table->pfnEnumPorts(current.monitor, nullptr, 1, buffer.data(), needed, &needed,
                                     &returned))
        return false;
    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names->push_back(ports[i].pName);
    return true;
}

void ResetXcv() {
    std::lock_guard<std::mutex> guard(xcvMutex);
    hosted = Hosted{};
    clientAccess = kAdministrator;
    openCalls.clear();
    xcvHandles.clear();
    regCalls = 0;
    regStubbed = false;
}

}  // namespace win32layer::detail

extern "C" BOOL WINAPI XcvDataW(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputBytes,
                                PBYTE output, DWORD outputBytes, PDWORD outputNeeded,
                                PDWORD status) {
    HANDLE monitorXcv;
    {
        std::lock_guard<std::mutex> guard(xcvMutex);
        auto found = xcvHandles.find(xcv);
        if (found == xcvHandles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        monitorXcv = found->second;
    }
    if (!dataName || !outputNeeded || !status) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Hosted current = Current();
    *status = current.table->pfnXcvDataPort(monitorXcv, dataName, input, inputBytes, output,
                                            outputBytes, outputNeeded);
    return TRUE;
}

namespace win32layer {

void SetSpoolerMonitor2(LPMONITOR2 table, HANDLE monitor, const std::u16string& name) {
    std::lock_guard<std::mutex> guard(xcvMutex);
    hosted = Hosted{table, monitor, name};
}

void SetClientAccess(ACCESS_MASK access) {
    std::lock_guard<std::mutex> guard(xcvMutex);
    clientAccess = access;
}

std::vector<XcvOpenCall> XcvOpenCalls() {
    std::lock_guard<std::mutex> guard(xcvMutex);
    return openCalls;
}

size_t OpenXcvHandleCount() {
    std::lock_guard<std::mutex> guard(xcvMutex);
    return xcvHandles.size();
}

const MONITORREG* MonitorReg() { return &monitorReg; }

void StubMonitorReg(bool stubbed) {
    std::lock_guard<std::mutex> guard(xcvMutex);
    regStubbed = stubbed;
}

unsigned MonitorRegCalls() {
    std::lock_guard<std::mutex> guard(xcvMutex);
    return regCalls;
}

}  // namespace win32layer
