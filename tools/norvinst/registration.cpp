#include "registration.h"

#include "console.h"
#include "exit_codes.h"
#include "heap_buffer.h"
#include "host.h"
#include "machine.h"
#include "related_products.h"
#include "spooler_functions.h"
#include "system_files.h"
#include "system_library.h"

namespace {

typedef LSTATUS(WINAPI* SHDeleteKeyProc)(HKEY, LPCWSTR);

// SHDeleteKeyW of shlwapi.dll, which is no KnownDLL on every Windows.
DWORD DeleteKeyTree(HKEY root, LPCWSTR subKey) {
    HMODULE shlwapi = LoadSystemLibrary(L"shlwapi.dll");
    if (!shlwapi) return GetLastError();
    auto deleteKey = FunctionOf<SHDeleteKeyProc>(shlwapi, "SHDeleteKeyW");
    const DWORD result = deleteKey ? DWORD(deleteKey(root, subKey)) : DWORD(ERROR_PROC_NOT_FOUND);
    FreeLibrary(shlwapi);
    return result;
}

}  // namespace

bool FindMonitor(MonitorEntry* entry) {
    HeapBuffer buffer;
    DWORD count = 0;
    const DWORD error = EnumerateInto(&buffer, &count, sizeof(MONITOR_INFO_2W),
                                      [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                                          return Spooler().EnumMonitors(nullptr, 2, data, size, needed, returned);
                                      });
    if (error != ERROR_SUCCESS) {
        Err(L"cannot list the spooler's monitors: %ls", ErrorMessage(error).text);
        return false;
    }
    const auto* info = buffer.As<MONITOR_INFO_2W>();
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pName && SamePath(info[i].pName, kMonitorName)) {
            entry->found = true;
            WideCopy(entry->dll, kPortStringUnits, info[i].pDLLName);
            return true;
        }
    }
    return true;
}

const Form* FormOfDll(LPCWSTR dll) {
    if (SamePath(dll, kModern.monitorDll)) return &kModern;
    if (SamePath(dll, kLegacy.monitorDll)) return &kLegacy;
    return nullptr;
}

// The modern interface's UI DLL exists from Windows Vista (6.0) on, whose
// spooler runs in session 0 where no window is ever seen.
const Form& DefaultForm() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    const DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION, condition) ? kModern : kLegacy;
}

LPCWSTR NativeEnvironment() { return EnvironmentOf(NativeMachine()); }

int CheckArchitecture() {
    const WORD native = NativeMachine();
    if (native == kMachine) return kExitOk;
    Err(L"this is the %ls norvinst, and this Windows is %ls: its spooler loads only monitors built for %ls, "
        L"from its own system directory",
        MachineName(kMachine), MachineName(native), MachineName(native));
    Err(L"run the %ls build instead (%ls\\norvinst.exe in the bundle)", MachineName(native),
        native == IMAGE_FILE_MACHINE_ARM64 ? L"arm64" : MachineName(native));
    return kExitWrongWindows;
}

PortValues::~PortValues() {
    if (values_) HeapFree(GetProcessHeap(), 0, values_);
}

bool PortValues::Read() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return true;
    DWORD values = 0;
    bool ok = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr) == ERROR_SUCCESS;
    // The ports are the values "1", "2", ... in order, so there are no more of
    // them than values.
    if (ok && values > 0) {
        values_ = static_cast<Value*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, values * sizeof(Value)));
        ok = values_ != nullptr;
    }
    for (DWORD i = 0; ok && i < values; ++i) {
        WCHAR number[12];
        FormatDecimal(i + 1, number);
        DWORD bytes = sizeof(Value) - sizeof(WCHAR);
        DWORD type = 0;
        if (RegQueryValueExW(key, number, nullptr, &type, reinterpret_cast<BYTE*>(values_[i]), &bytes) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            break;
        ++count_;
    }
    RegCloseKey(key);
    return ok;
}

bool PortValues::Write() const {
    if (count_ == 0) return true;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (DWORD i = 0; i < count_; ++i) {
        WCHAR number[12];
        FormatDecimal(i + 1, number);
        ok = RegSetValueExW(key, number, 0, REG_SZ, reinterpret_cast<const BYTE*>(values_[i]),
                            (WideLength(values_[i]) + 1) * sizeof(WCHAR)) == ERROR_SUCCESS &&
             ok;
    }
    RegCloseKey(key);
    return ok;
}

bool DeleteRegistration() {
    if (Spooler().DeleteMonitor(nullptr, const_cast<LPWSTR>(NativeEnvironment()), const_cast<LPWSTR>(kMonitorName)))
        return true;
    const DWORD error = GetLastError();
    Err(L"the spooler refused to remove %ls: %ls", kMonitorName, ErrorMessage(error).text);
    if (error == ERROR_PRINT_MONITOR_IN_USE || error == ERROR_BUSY)
        Err(L"move the printers on NORV ports to another port first");
    return false;
}

int RemoveOtherForm(const MonitorEntry& existing, const Form& form, PortValues* ports) {
    const Form* installed = existing.found ? FormOfDll(existing.dll) : nullptr;
    if (!existing.found || installed == &form) return kExitOk;
    LPCWSTR name = installed ? installed->name : L"other";
    if (!ports->Read()) {
        Err(L"out of memory reading the ports under HKLM\\%ls; nothing was changed", kMonitorKey);
        return kExitSpooler;
    }
    if (!Spooler().DeleteMonitor(nullptr, const_cast<LPWSTR>(NativeEnvironment()), const_cast<LPWSTR>(kMonitorName))) {
        Err(L"the spooler refused to remove the installed %ls form: %ls", name, ErrorMessage(GetLastError()).text);
        return kExitSpooler;
    }
    Out(L"Removed the %ls form of %ls from the spooler", name, kMonitorName);
    return kExitOk;
}

int RegisterForm(const Form& form, const PortValues& ports, bool* already) {
    *already = false;
    if (ports.Count() > 0) {
        if (!ports.Write()) Err(L"cannot write the ports back under HKLM\\%ls", kMonitorKey);
        Out(L"Kept %u port(s)", unsigned(ports.Count()));
    }
    MONITOR_INFO_2W info;
    info.pName = const_cast<LPWSTR>(kMonitorName);
    info.pEnvironment = const_cast<LPWSTR>(NativeEnvironment());
    info.pDLLName = const_cast<LPWSTR>(form.monitorDll);
    if (Spooler().AddMonitor(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
        Out(L"Registered %ls (%ls, environment \"%ls\") with the spooler", kMonitorName, form.monitorDll,
            info.pEnvironment);
        return kExitOk;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
        *already = true;
        return kExitOk;
    }
    Err(L"the spooler refused to add %ls: %ls", kMonitorName, ErrorMessage(error).text);
    return kExitSpooler;
}

int Register(const Form* chosen) {
    const int architecture = CheckArchitecture();
    if (architecture != kExitOk) return architecture;
    const Form& form = chosen ? *chosen : DefaultForm();
    WCHAR system[kPathUnits], path[kPathUnits];
    if (!NativeSystemDirectory(system)) {
        Err(L"cannot find the system directory: %ls", ErrorMessage(GetLastError()).text);
        return kExitFile;
    }
    LPCWSTR hint = L"\"norvinst register\" registers the DLLs already in the system directory; "
                   L"\"norvinst install\" copies them there";
    JoinPath(path, system, form.monitorDll);
    int result = CheckDll(path, kMachine, hint);
    if (result != kExitOk) return result;
    if (form.uiDll) {
        JoinPath(path, system, form.uiDll);
        if ((result = CheckDll(path, kMachine, hint)) != kExitOk) return result;
    }
    MonitorEntry existing;
    if (!FindMonitor(&existing)) return kExitSpooler;
    if (existing.found && FormOfDll(existing.dll) == &form) {
        Out(L"%ls is already registered with the spooler in the %ls form", kMonitorName, form.name);
        return kExitOk;
    }
    PortValues ports;
    if ((result = RemoveOtherForm(existing, form, &ports)) != kExitOk) return result;
    bool already = false;
    result = RegisterForm(form, ports, &already);
    if (already) Out(L"%ls is already registered with the spooler", kMonitorName);
    return result;
}

int Unregister(LPCWSTR upgradeCode, LPCWSTR productCode) {
    if (upgradeCode) {
        WCHAR other[kGuidUnits];
        const DWORD error = FindRelatedProduct(upgradeCode, productCode, other);
        if (error != ERROR_SUCCESS && error != ERROR_NO_MORE_ITEMS) {
            Err(L"cannot ask Windows Installer for the products of %ls: %ls; nothing was changed", upgradeCode,
                ErrorMessage(error).text);
            return kExitInstallerQuery;
        }
        if (error == ERROR_SUCCESS) {
            Out(L"The related product %ls is installed and takes over %ls; its registration and ports stay",
                other, kMonitorName);
            return kExitOk;
        }
    }
    MonitorEntry existing;
    if (!FindMonitor(&existing)) return kExitSpooler;
    if (existing.found) {
        if (!DeleteRegistration()) return kExitSpooler;
        Out(L"Removed %ls from the spooler", kMonitorName);
    } else {
        Out(L"%ls was not registered with the spooler", kMonitorName);
    }
    const DWORD deleted = DeleteKeyTree(HKEY_LOCAL_MACHINE, kMonitorKey);
    if (deleted == ERROR_SUCCESS) {
        Out(L"Deleted its ports (HKLM\\%ls)", kMonitorKey);
    } else if (deleted != ERROR_FILE_NOT_FOUND) {
        Err(L"cannot delete HKLM\\%ls: %ls", kMonitorKey, ErrorMessage(deleted).text);
        return kExitSpooler;
    }
    Out(L"Unregistered.");
    return kExitOk;
}
