// The spooler's own library, as the monitor loads it for its duplicate check,
// and the spooler behind its EnumPortsW: the ports of the other monitors plus
// those the hosted monitor reports through its table.
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>

#include "layer_internal.h"
#include "shell_control.h"

#include <winspool.h>

using namespace win32layer;

namespace {

constexpr DWORD kInvalidName = 123;            // ERROR_INVALID_NAME
constexpr DWORD kInvalidUserBuffer = 1784;     // ERROR_INVALID_USER_BUFFER
constexpr DWORD kNullReference = 1780;         // RPC_X_NULL_REF_POINTER
constexpr DWORD kServerUnavailable = 1722;     // RPC_S_SERVER_UNAVAILABLE
// A host retries a monitor whose list grew between sizing and filling.
constexpr int kMonitorAttempts = 8;

const std::vector<std::u16string> kDefaultOtherPorts = {u"LPT1:", u"COM1:", u"FILE:"};

// The library's handle: the address of its image, here a private object.
char spoolerImage;
HMODULE const kSpoolerModule = reinterpret_cast<HMODULE>(&spoolerImage);

std::mutex spoolerMutex;
int moduleReferences = 0;
unsigned loads = 0;
unsigned frees = 0;
unsigned monitorInitializations = 0;
InitializeMonitorProc monitorEntry = nullptr;
std::u16string monitorRoot;
std::vector<std::u16string> otherPorts = kDefaultOtherPorts;
std::vector<EnumPortsCall> enumCalls;

// Each round opens when all parties still expected have arrived.
struct Gate {
    unsigned rounds = 0;  // rounds still to open; 0: calls pass freely
    unsigned parties = 0;
    unsigned arrived = 0;  // in the current round
    unsigned left = 0;     // parties that will not come again
    unsigned generation = 0;
};
std::mutex gateMutex;
std::condition_variable gateOpened;
std::map<Api, Gate> gates;

// Called with gateMutex held.
bool OpenRoundIfComplete(Gate& gate) {
    if (gate.arrived + gate.left < gate.parties) return false;
    gate.arrived = 0;
    --gate.rounds;
    ++gate.generation;
    gateOpened.notify_all();
    return true;
}

bool IsSpoolerLibrary(LPCWSTR name) {
    std::u16string lower = detail::Lower(name);
    return lower == u"spoolss.dll" || lower == u"spoolss";
}

// The hosted monitor's ports, asked for as a spooler asks: size, then fill.
bool MonitorPorts(std::vector<std::u16string>* names) {
    InitializeMonitorProc entry;
    std::u16string root;
    {
        std::lock_guard<std::mutex> guard(spoolerMutex);
        entry = monitorEntry;
        root = monitorRoot;
        if (entry) ++monitorInitializations;
    }
    if (!entry) return detail::ModernMonitorPorts(names);
    LPMONITOREX table = entry(&root[0]);
    if (!table || !table->Monitor.pfnEnumPorts) return true;

    for (int attempt = 0; attempt < kMonitorAttempts; ++attempt) {
        DWORD needed = 0, returned = 0;
        if (table->Monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned)) return true;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        std::vector<BYTE> buffer(needed);
        if (table->Monitor.pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned)) {
            for (DWORD i = 0; i < returned; ++i) {
                PORT_INFO_1W info;
                std::memcpy(&info, buffer.data() + i * sizeof(info), sizeof(info));
                names->push_back(info.pName ? std::u16string(info.pName) : std::u16string());
            }
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

}  // namespace

namespace win32layer::detail {

void WaitAtGate(Api api) {
    std::unique_lock<std::mutex> lock(gateMutex);
    auto found = gates.find(api);
    if (found == gates.end() || found->second.rounds == 0) return;
    Gate& gate = found->second;
    ++gate.arrived;
    if (OpenRoundIfComplete(gate)) return;
    // Waiting with a lock held would stop the others short of the gate.
    if (CriticalSectionsHeld() > 0) return;
    const unsigned generation = gate.generation;
    gateOpened.wait(lock, [&gate, generation] { return gate.generation != generation; });
}

}  // namespace win32layer::detail

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
    DWORD error;
    if (detail::ShouldFail(Api::LoadLibraryW, ERROR_MOD_NOT_FOUND, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (!fileName || !IsSpoolerLibrary(fileName)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(spoolerMutex);
    ++loads;
    ++moduleReferences;
    return kSpoolerModule;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    DWORD error;
    if (detail::ShouldFail(Api::GetProcAddress, ERROR_PROC_NOT_FOUND, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (detail::IsKernelModule(module)) {
        FARPROC proc = detail::KernelProc(module, procName);
        if (!proc) SetLastError(ERROR_PROC_NOT_FOUND);
        return proc;
    }
    {
        std::lock_guard<std::mutex> guard(spoolerMutex);
        if (module != kSpoolerModule || moduleReferences == 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    // Names below 0x10000 are ordinals; the library is looked up by name only.
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000 || std::strcmp(procName, "EnumPortsW") != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&EnumPortsW));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    if (module != kSpoolerModule || moduleReferences == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    --moduleReferences;
    ++frees;
    return TRUE;
}

}  // extern "C"

namespace {

// Level 1 only, with the spooler's size protocol: without a buffer large
// enough, FALSE with ERROR_INSUFFICIENT_BUFFER and the size in *needed.
BOOL Enumerate(bool serverNamed, DWORD level, LPBYTE ports, DWORD bufferBytes, LPDWORD needed,
               LPDWORD returned) {
    if (!needed || !returned) {
        SetLastError(kNullReference);
        return FALSE;
    }
    *needed = 0;
    *returned = 0;
    DWORD error;
    if (detail::ShouldFail(Api::EnumPortsW, kServerUnavailable, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (serverNamed) {
        SetLastError(kInvalidName);
        return FALSE;
    }
    if (level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!ports && bufferBytes != 0) {
        SetLastError(kInvalidUserBuffer);
        return FALSE;
    }

    std::vector<std::u16string> names;
    {
        std::lock_guard<std::mutex> guard(spoolerMutex);
        names = otherPorts;
    }
    if (!MonitorPorts(&names)) return FALSE;

    DWORD size = 0;
    for (const auto& port : names)
        size += DWORD(sizeof(PORT_INFO_1W) + (port.size() + 1) * sizeof(WCHAR));
    *needed = size;
    // Nothing to list fits any buffer, even none: TRUE with no ports.
    if (bufferBytes < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Records from the start upwards, their strings from the end downwards.
    LPBYTE stringEnd = ports + bufferBytes;
    for (size_t i = 0; i < names.size(); ++i) {
        const size_t bytes = (names[i].size() + 1) * sizeof(WCHAR);
        stringEnd -= bytes;
        std::memcpy(stringEnd, names[i].c_str(), bytes);
        PORT_INFO_1W info;
        info.pName = reinterpret_cast<LPWSTR>(stringEnd);
        std::memcpy(ports + i * sizeof(info), &info, sizeof(info));
    }
    *returned = DWORD(names.size());
    return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferBytes,
                                  LPDWORD needed, LPDWORD returned) {
    EnumPortsCall call;
    call.serverNamed = name && name[0];
    call.level = level;
    call.bufferGiven = ports != nullptr;
    call.bufferBytes = bufferBytes;
    call.lockHeld = CriticalSectionsHeld() > 0;
    {
        std::lock_guard<std::mutex> guard(spoolerMutex);
        enumCalls.push_back(call);
    }
    BOOL result = Enumerate(call.serverNamed, level, ports, bufferBytes, needed, returned);
    // Gated callers leave together, each with the answer it got.
    detail::WaitAtGate(Api::EnumPortsW);
    return result;
}

namespace win32layer {

void SetSpoolerMonitor(InitializeMonitorProc initialize, const std::u16string& root) {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    monitorEntry = initialize;
    monitorRoot = root;
}

void SetOtherPorts(const std::vector<std::u16string>& ports) {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    otherPorts = ports;
}

unsigned SpoolerLoads() {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    return loads;
}

unsigned SpoolerFrees() {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    return frees;
}

int SpoolerReferences() {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    return moduleReferences;
}

unsigned SpoolerMonitorInitializations() {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    return monitorInitializations;
}

std::vector<EnumPortsCall> EnumPortsCalls() {
    std::lock_guard<std::mutex> guard(spoolerMutex);
    return enumCalls;
}

void GateCalls(Api api, unsigned parties, unsigned rounds) {
    std::lock_guard<std::mutex> lock(gateMutex);
    Gate& gate = gates[api];
    const unsigned generation = gate.generation;
    gate = Gate{};
    gate.generation = generation + 1;
    gate.rounds = parties > 1 ? rounds : 0;
    gate.parties = parties;
    gateOpened.notify_all();
}

void LeaveGate(Api api) {
    std::lock_guard<std::mutex> lock(gateMutex);
    auto found = gates.find(api);
    if (found == gates.end() || found->second.rounds == 0) return;
    ++found->second.left;
    OpenRoundIfComplete(found->second);
}

namespace detail {
void ResetSpooler() {
    {
        std::lock_guard<std::mutex> guard(spoolerMutex);
        moduleReferences = 0;
        loads = 0;
        frees = 0;
        monitorInitializations = 0;
        monitorEntry = nullptr;
        monitorRoot.clear();
        otherPorts = kDefaultOtherPorts;
        enumCalls.clear();
    }
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        gates.clear();
    }
    ResetXcv();
}
}  // namespace detail
}  // namespace win32layer
