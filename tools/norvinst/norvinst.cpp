// norvinst: installs, removes and inspects the NORV port monitor.
//
//   norvinst install [--legacy|--modern] [DLL]
//                            copy the monitor's DLLs into the system directory
//                            and register "NORV Monitor" with the print
//                            spooler: the modern pair (norvmon2.dll and its
//                            UI DLL norvmonui.dll) from Windows Vista on, the
//                            legacy norvmon.dll before; the ports are kept
//                            when one form replaces the other
//   norvinst uninstall       unregister the monitor and remove its DLLs
//   norvinst add-port DIR... / remove-port PORT...
//   norvinst status          tell whether the monitor is registered and its
//                            DLL is in place
//   norvinst ports           list every port the spooler knows
//   norvinst add-port DIR... add each folder as a port of the monitor
//
// Exit codes are listed in Usage() and in the README.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <winspool.h>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <string>
#include <vector>

// winspool.drv exports AddPortExW; MinGW-w64's winspool.h does not declare it.
extern "C" BOOL WINAPI AddPortExW(LPWSTR pName, DWORD Level, LPBYTE pBuffer, LPWSTR pMonitorName);

namespace {

const wchar_t kMonitorName[] = L"NORV Monitor";
const wchar_t kDllName[] = L"norvmon.dll";
const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";

// The two forms of the monitor: the legacy DLL, whose dialogs run in the
// spooler, and the modern pair, whose dialogs run in the user's process.
struct Form {
    const wchar_t* name;
    const wchar_t* monitorDll;  // registered with the spooler
    const wchar_t* uiDll;       // loaded by the spooler in the client, or null
};
const Form kLegacy = {L"legacy", L"norvmon.dll", nullptr};
const Form kModern = {L"modern", L"norvmon2.dll", L"norvmonui.dll"};
const wchar_t* const kAllDlls[] = {L"norvmon.dll", L"norvmon2.dll", L"norvmonui.dll"};

#ifdef _WIN64
const wchar_t kEnvironment[] = L"Windows x64";
const WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
const wchar_t kArchitecture[] = L"x64";
#else
const wchar_t kEnvironment[] = L"Windows NT x86";
const WORD kMachine = IMAGE_FILE_MACHINE_I386;
const wchar_t kArchitecture[] = L"x86";
#endif

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitFile = 2,
    kExitSpooler = 3,
    kExitNotInstalled = 4,
    kExitIncomplete = 5,
    kExitRemovalPending = 6,
    kExitPortPageOnly = 8,
    kExitPortRefused = 7,
};

// ---------------------------------------------------------------- output --

bool WriteWide(HANDLE handle, const std::wstring& text) {
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        return WriteConsoleW(handle, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    }
    // Redirected to a file or a pipe: UTF-8, plain "\n" line ends.
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    if (bytes <= 0) return text.empty();
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr,
                        nullptr);
    DWORD written = 0;
    return WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) != 0;
}

std::wstring Format(const wchar_t* format, va_list args) {
    wchar_t buffer[2048];
    int n = _vsnwprintf(buffer, sizeof buffer / sizeof buffer[0] - 1, format, args);
    buffer[sizeof buffer / sizeof buffer[0] - 1] = L'\0';
    if (n < 0) n = static_cast<int>(wcslen(buffer));
    return std::wstring(buffer, static_cast<size_t>(n));
}

void Out(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    WriteWide(GetStdHandle(STD_OUTPUT_HANDLE), Format(format, args) + L"\n");
    va_end(args);
}

void Err(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    WriteWide(GetStdHandle(STD_ERROR_HANDLE), L"norvinst: " + Format(format, args) + L"\n");
    va_end(args);
}

std::wstring ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result;
    if (n != 0 && text != nullptr) {
        result.assign(text, n);
        while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' ||
                                   result.back() == L' ' || result.back() == L'.')) {
            result.pop_back();
        }
    }
    if (text != nullptr) LocalFree(text);
    wchar_t number[32];
    _snwprintf(number, 31, L"error %lu", static_cast<unsigned long>(code));
    number[31] = L'\0';
    return result.empty() ? std::wstring(number) : result + L" (" + number + L")";
}

// ----------------------------------------------------------------- paths --

std::wstring ModuleDirectory() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".";
        if (n < path.size()) break;
        path.resize(path.size() * 2);
    }
    std::wstring result(path.data());
    size_t slash = result.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : result.substr(0, slash);
}

std::wstring BaseName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FullPath(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1);
    n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0 || n >= buffer.size()) return path;
    return std::wstring(buffer.data());
}

bool RunningUnderWow64() {
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return false;
    IsWow64ProcessFn isWow64 =
        reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// The directory the spooler of this architecture loads monitors from: the
// system directory, or on 64-bit Windows for the 32-bit build, SysWOW64
// (which is where the 32-bit view of "system32" leads anyway).
std::wstring SystemDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {0};
    UINT n = 0;
    if (RunningUnderWow64()) n = GetSystemWow64DirectoryW(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) n = GetSystemDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    return std::wstring(buffer);
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Reads the machine field of a PE file's header; 0 if it is not a PE image.
WORD ImageMachine(const std::wstring& path, DWORD* error) {
    *error = ERROR_SUCCESS;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return 0;
    }
    WORD machine = 0;
    unsigned char header[4096];
    DWORD got = 0;
    if (ReadFile(file, header, sizeof header, &got, nullptr) && got >= 0x40 && header[0] == 'M' &&
        header[1] == 'Z') {
        DWORD peOffset = 0;
        memcpy(&peOffset, header + 0x3C, sizeof peOffset);
        if (peOffset + 6 <= got && memcmp(header + peOffset, "PE\0\0", 4) == 0) {
            memcpy(&machine, header + peOffset + 4, sizeof machine);
        }
    }
    CloseHandle(file);
    return machine;
}

const wchar_t* MachineName(WORD machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386: return L"x86";
        case IMAGE_FILE_MACHINE_AMD64: return L"x64";
        case 0xAA64: return L"ARM64";
        default: return L"unknown";
    }
}

// --------------------------------------------------------------- spooler --

struct MonitorEntry {
    bool found = false;
    std::wstring dll;
};

// Looks the monitor up among the spooler's monitors. Returns false (with
// the error in *error) when the spooler cannot be asked.
bool FindMonitor(MonitorEntry* entry, DWORD* error) {
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + sizeof(MONITOR_INFO_2W));
    if (!EnumMonitorsW(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
        *error = GetLastError();
        return false;
    }
    const MONITOR_INFO_2W* info = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pName != nullptr && SamePath(info[i].pName, kMonitorName)) {
            entry->found = true;
            entry->dll = info[i].pDLLName ? info[i].pDLLName : L"";
            return true;
        }
    }
    return true;
}

struct PortEntry {
    std::wstring name, monitor, description;
};

bool ListPorts(std::vector<PortEntry>* ports, DWORD* error) {
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + sizeof(PORT_INFO_2W));
    if (!EnumPortsW(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
        *error = GetLastError();
        return false;
    }
    const PORT_INFO_2W* info = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        PortEntry port;
        port.name = info[i].pPortName ? info[i].pPortName : L"";
        port.monitor = info[i].pMonitorName ? info[i].pMonitorName : L"";
        port.description = info[i].pDescription ? info[i].pDescription : L"";
        ports->push_back(port);
    }
    return true;
}

// Deletes the DLL, waiting up to timeoutMs for the spooler to let it go.
// Returns ERROR_SUCCESS or the last error of the final attempt.
DWORD DeleteWhenReleased(const std::wstring& path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (DeleteFileW(path.c_str())) return ERROR_SUCCESS;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return error;
        if (GetTickCount() - start >= timeoutMs) return error;
        Sleep(250);
    }
}

// --------------------------------------------------------------- commands --

// The form this Windows can run: the modern interface's UI DLL exists from
// Windows Vista (6.0) on, whose spooler runs in session 0 where no window is
// ever seen.
const Form& DefaultForm() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    const DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION, condition) ? kModern : kLegacy;
}

const Form* FormOfDll(const std::wstring& dll) {
    if (SamePath(dll, kModern.monitorDll)) return &kModern;
    if (SamePath(dll, kLegacy.monitorDll)) return &kLegacy;
    return nullptr;
}

// The numbered port values under the monitor's key, in value order.
std::vector<std::wstring> StoredPortValues() {
    std::vector<std::wstring> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return ports;
    for (int i = 1;; ++i) {
        wchar_t value[MAX_PATH + 1] = {0};
        DWORD bytes = sizeof(value) - sizeof(wchar_t);
        if (RegQueryValueExW(key, std::to_wstring(i).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &bytes) != ERROR_SUCCESS)
            break;
        ports.push_back(value);
    }
    RegCloseKey(key);
    return ports;
}

// Writes the port values back before the monitor is registered, so that its
// first load finds them (the spooler accepts a key made before AddMonitor).
bool RestorePortValues(const std::vector<std::wstring>& ports) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (size_t i = 0; i < ports.size(); ++i)
        ok = RegSetValueExW(key, std::to_wstring(i + 1).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(ports[i].c_str()),
                            static_cast<DWORD>((ports[i].size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS && ok;
    RegCloseKey(key);
    return ok;
}

// Checks a DLL to be installed: present, and built for this architecture.
int CheckDll(const std::wstring& from, bool named) {
    if (!FileExists(from)) {
        Err(L"the monitor DLL %ls was not found", from.c_str());
        if (!named) Err(L"put the monitor's DLLs beside norvinst.exe or name it: norvinst install PATH");
        return kExitFile;
    }
    DWORD error = ERROR_SUCCESS;
    WORD machine = ImageMachine(from, &error);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot read %ls: %ls", from.c_str(), ErrorText(error).c_str());
        return kExitFile;
    }
    if (machine != kMachine) {
        Err(L"%ls is %ls%ls; this norvinst installs the %ls monitor", from.c_str(),
            machine ? L"built for " : L"not a Windows DLL", machine ? MachineName(machine) : L"",
            kArchitecture);
        return kExitFile;
    }
    return kExitOk;
}

int CopyDll(const std::wstring& from, const std::wstring& system, const wchar_t* name) {
    std::wstring target = system + L"\\" + name;
    if (SamePath(FullPath(from), FullPath(target))) {
        Out(L"%ls is already in %ls", name, system.c_str());
        return kExitOk;
    }
    if (!CopyFileW(from.c_str(), target.c_str(), FALSE)) {
        DWORD error = GetLastError();
        Err(L"cannot copy %ls to %ls: %ls", from.c_str(), target.c_str(), ErrorText(error).c_str());
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE) {
            Err(L"the spooler is using the installed monitor; run \"norvinst uninstall\" first");
        } else if (error == ERROR_ACCESS_DENIED) {
            Err(L"installing a print monitor needs administrator rights");
        }
        return kExitFile;
    }
    Out(L"Copied %ls to %ls", from.c_str(), target.c_str());
    return kExitOk;
}

// Deletes the DLLs of the monitor that are in the system directory, except
// `keep`'s; kExitOk, kExitRemovalPending or kExitFile.
int DeleteDlls(const std::wstring& system, const Form* keep) {
    int result = kExitOk;
    for (const wchar_t* name : kAllDlls) {
        if (keep && (SamePath(name, keep->monitorDll) || (keep->uiDll && SamePath(name, keep->uiDll)))) continue;
        std::wstring target = system + L"\\" + name;
        if (!FileExists(target)) continue;
        DWORD error = DeleteWhenReleased(target, 10000);
        if (error == ERROR_SUCCESS) {
            Out(L"Deleted %ls", target.c_str());
        } else if (MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            Out(L"The spooler still holds %ls; it will be deleted at the next restart", target.c_str());
            if (result == kExitOk) result = kExitRemovalPending;
        } else {
            Err(L"cannot delete %ls: %ls", target.c_str(), ErrorText(error).c_str());
            result = kExitFile;
        }
    }
    return result;
}

int Install(const Form* chosen, const std::wstring* source) {
    // A DLL named on the command line is the monitor DLL of its form.
    const Form& form = chosen ? *chosen
                              : source ? (SamePath(BaseName(*source), kModern.monitorDll) ? kModern : kLegacy)
                                       : DefaultForm();
    std::wstring from = source ? FullPath(*source) : ModuleDirectory() + L"\\" + form.monitorDll;
    std::wstring folder = from.substr(0, from.find_last_of(L'\\'));
    int check = CheckDll(from, source != nullptr);
    if (check != kExitOk) return check;
    if (form.uiDll && (check = CheckDll(folder + L"\\" + form.uiDll, source != nullptr)) != kExitOk) return check;

    std::wstring system = SystemDirectory();
    if (system.empty()) {
        Err(L"cannot find the system directory: %ls", ErrorText(GetLastError()).c_str());
        return kExitFile;
    }
    MonitorEntry existing;
    DWORD error = ERROR_SUCCESS;
    if (!FindMonitor(&existing, &error)) {
        Err(L"cannot list the spooler's monitors: %ls", ErrorText(error).c_str());
        return kExitSpooler;
    }
    const Form* installed = existing.found ? FormOfDll(existing.dll) : nullptr;
    const bool switching = existing.found && installed != &form;

    // Another form is registered: it goes, its ports stay.
    std::vector<std::wstring> ports;
    if (switching) {
        ports = StoredPortValues();
        if (!DeleteMonitorW(nullptr, const_cast<wchar_t*>(kEnvironment), const_cast<wchar_t*>(kMonitorName))) {
            error = GetLastError();
            Err(L"the spooler refused to remove the installed %ls form: %ls", installed ? installed->name : L"other",
                ErrorText(error).c_str());
            return kExitSpooler;
        }
        Out(L"Removed the %ls form of %ls from the spooler", installed ? installed->name : L"other", kMonitorName);
    }
    int copied = CopyDll(from, system, form.monitorDll);
    if (copied == kExitOk && form.uiDll) copied = CopyDll(folder + L"\\" + form.uiDll, system, form.uiDll);
    if (copied != kExitOk) return copied;
    if (existing.found || switching) DeleteDlls(system, &form);

    if (existing.found && !switching) {
        Out(L"%ls was already registered with the spooler (DLL %ls); the DLL has been updated", kMonitorName,
            existing.dll.c_str());
        return kExitOk;
    }
    if (switching) {
        if (!RestorePortValues(ports)) Err(L"cannot write the ports back under HKLM\\%ls", kMonitorKey);
        Out(L"Kept %u port(s)", static_cast<unsigned>(ports.size()));
    }

    MONITOR_INFO_2W info;
    info.pName = const_cast<wchar_t*>(kMonitorName);
    info.pEnvironment = const_cast<wchar_t*>(kEnvironment);
    info.pDLLName = const_cast<wchar_t*>(form.monitorDll);
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
        error = GetLastError();
        if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
            Out(L"%ls was already registered with the spooler; the DLL has been updated", kMonitorName);
            return kExitOk;
        }
        Err(L"the spooler refused to add %ls: %ls", kMonitorName, ErrorText(error).c_str());
        DeleteDlls(system, nullptr);
        return kExitSpooler;
    }
    Out(L"Registered %ls (%ls, environment \"%ls\") with the spooler", kMonitorName, form.monitorDll, kEnvironment);
    if (form.uiDll) {
        Out(L"Installed the modern form: norvmon2.dll in the spooler, its dialogs from norvmonui.dll in the"
            L" user's process.");
    } else {
        Out(L"Installed the legacy form: norvmon.dll, dialogs shown by the spooler itself.");
    }
    if (!switching) Out(L"The default port NORV is now offered to printers.");
    return kExitOk;
}

int Uninstall() {
    std::wstring system = SystemDirectory();
    MonitorEntry existing;
    DWORD error = ERROR_SUCCESS;
    if (!FindMonitor(&existing, &error)) {
        Err(L"cannot list the spooler's monitors: %ls", ErrorText(error).c_str());
        return kExitSpooler;
    }
    bool dllPresent = false;
    for (const wchar_t* name : kAllDlls) dllPresent = dllPresent || FileExists(system + L"\\" + name);
    if (!existing.found && !dllPresent) {
        Out(L"%ls is not installed; nothing to remove", kMonitorName);
        return kExitNotInstalled;
    }

    if (existing.found) {
        if (!DeleteMonitorW(nullptr, const_cast<wchar_t*>(kEnvironment), const_cast<wchar_t*>(kMonitorName))) {
            error = GetLastError();
            Err(L"the spooler refused to remove %ls: %ls", kMonitorName, ErrorText(error).c_str());
            if (error == ERROR_PRINT_MONITOR_IN_USE || error == ERROR_BUSY) {
                Err(L"move the printers on NORV ports to another port first");
            }
            return kExitSpooler;
        }
        const Form* form = FormOfDll(existing.dll);
        Out(L"Removed %ls (%ls form) from the spooler", kMonitorName, form ? form->name : existing.dll.c_str());
    } else {
        Out(L"%ls was not registered with the spooler", kMonitorName);
    }
    int deleted = DeleteDlls(system, nullptr);
    if (deleted == kExitOk) Out(L"Uninstalled.");
    return deleted;
}

int Status() {
    MonitorEntry entry;
    DWORD error = ERROR_SUCCESS;
    if (!FindMonitor(&entry, &error)) {
        Err(L"cannot list the spooler's monitors: %ls", ErrorText(error).c_str());
        return kExitSpooler;
    }
    std::wstring system = SystemDirectory();
    const Form* form = entry.found ? FormOfDll(entry.dll) : nullptr;
    std::wstring target = system + L"\\" + (entry.found ? entry.dll : std::wstring(kDllName));
    bool dllPresent = FileExists(target) && (!form || !form->uiDll || FileExists(system + L"\\" + form->uiDll));

    Out(L"Monitor:     %ls", kMonitorName);
    if (form) Out(L"Form:        %ls", form->name);
    if (entry.found) {
        Out(L"Registered:  yes (DLL %ls)", entry.dll.c_str());
    } else {
        Out(L"Registered:  no");
    }
    Out(L"DLL:         %ls (%ls, %ls)", target.c_str(), kArchitecture, dllPresent ? L"present" : L"missing");

    if (entry.found) {
        std::vector<PortEntry> ports;
        if (!ListPorts(&ports, &error)) {
            Err(L"cannot list the spooler's ports: %ls", ErrorText(error).c_str());
            return kExitSpooler;
        }
        std::wstring names;
        for (const PortEntry& port : ports) {
            if (!SamePath(port.monitor, kMonitorName)) continue;
            if (!names.empty()) names += L", ";
            names += port.name;
        }
        Out(L"Ports:       %ls", names.empty() ? L"(none)" : names.c_str());
    }

    if (entry.found && dllPresent) {
        Out(L"Status:      installed");
        return kExitOk;
    }
    if (!entry.found && !dllPresent) {
        Out(L"Status:      not installed");
        return kExitNotInstalled;
    }
    Out(L"Status:      incomplete (run \"norvinst install\" or \"norvinst uninstall\")");
    return kExitIncomplete;
}

int Ports() {
    std::vector<PortEntry> ports;
    DWORD error = ERROR_SUCCESS;
    if (!ListPorts(&ports, &error)) {
        Err(L"cannot list the spooler's ports: %ls", ErrorText(error).c_str());
        return kExitSpooler;
    }
    size_t width = 4;
    size_t monitorWidth = 7;
    for (const PortEntry& port : ports) {
        width = port.name.size() > width ? port.name.size() : width;
        monitorWidth = port.monitor.size() > monitorWidth ? port.monitor.size() : monitorWidth;
    }
    Out(L"%-*ls  %-*ls  %ls", static_cast<int>(width), L"Port", static_cast<int>(monitorWidth), L"Monitor",
        L"Description");
    for (const PortEntry& port : ports) {
        Out(L"%-*ls  %-*ls  %ls", static_cast<int>(width), port.name.c_str(), static_cast<int>(monitorWidth),
            port.monitor.c_str(), port.description.c_str());
    }
    Out(L"%u port(s)", static_cast<unsigned>(ports.size()));
    return kExitOk;
}

// One Xcv command to the modern monitor through the spooler: the monitor's
// status, or the spooler's error when the command could not be sent.
DWORD SendXcv(const wchar_t* command, const std::wstring& input) {
    std::wstring name = std::wstring(L",XcvMonitor ") + kMonitorName;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE xcv = nullptr;
    if (!OpenPrinterW(&name[0], &xcv, &defaults)) return GetLastError();
    DWORD needed = 0, status = ERROR_SUCCESS;
    if (!XcvDataW(xcv, command, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(input.c_str())),
                  static_cast<DWORD>((input.size() + 1) * sizeof(wchar_t)), nullptr, 0, &needed, &status))
        status = GetLastError();
    ClosePrinter(xcv);
    return status;
}

// The installed form, or null (the user has been told).
const Form* InstalledForm() {
    MonitorEntry entry;
    DWORD error = ERROR_SUCCESS;
    if (!FindMonitor(&entry, &error)) {
        Err(L"cannot list the spooler's monitors: %ls", ErrorText(error).c_str());
        return nullptr;
    }
    if (!entry.found) Err(L"%ls is not installed", kMonitorName);
    return entry.found ? (FormOfDll(entry.dll) ? FormOfDll(entry.dll) : &kLegacy) : nullptr;
}

// Each folder goes to the monitor as it is given: the monitor, in the
// spooler's process, makes it canonical and refuses a relative path. The
// modern form takes it through Xcv "AddPort", the legacy one through
// AddPortExW; both apply the same rules.
int AddPorts(int count, wchar_t** folders) {
    const Form* form = InstalledForm();
    if (!form) return kExitNotInstalled;
    int refused = 0;
    for (int i = 0; i < count; ++i) {
        DWORD error = ERROR_SUCCESS;
        if (form->uiDll) {
            error = SendXcv(L"AddPort", folders[i]);
        } else {
            PORT_INFO_1W info;
            info.pName = folders[i];
            if (!AddPortExW(nullptr, 1, reinterpret_cast<BYTE*>(&info), const_cast<wchar_t*>(kMonitorName)))
                error = GetLastError();
        }
        if (error == ERROR_SUCCESS) {
            Out(L"Added the port for %ls", folders[i]);
        } else {
            Err(L"cannot add the port for %ls: %ls", folders[i], ErrorText(error).c_str());
            ++refused;
        }
    }
    return refused ? kExitPortRefused : kExitOk;
}

int RemovePorts(int count, wchar_t** ports) {
    const Form* form = InstalledForm();
    if (!form) return kExitNotInstalled;
    if (!form->uiDll) {
        Err(L"the legacy form removes ports only from a printer's port page (its Delete Port button); "
            L"\"norvinst install --modern\" installs the form that removes them here");
        return kExitPortPageOnly;
    }
    int refused = 0;
    for (int i = 0; i < count; ++i) {
        DWORD error = SendXcv(L"DeletePort", ports[i]);
        if (error == ERROR_SUCCESS) {
            Out(L"Removed the port %ls", ports[i]);
        } else {
            Err(L"cannot remove the port %ls: %ls", ports[i], ErrorText(error).c_str());
            ++refused;
        }
    }
    return refused ? kExitPortRefused : kExitOk;
}

void Usage(HANDLE handle) {
    WriteWide(handle,
              L"Usage: norvinst COMMAND\n"
              L"\n"
              L"Installs the NORV port monitor into the Windows print spooler: from Windows Vista on\n"
              L"the modern pair (norvmon2.dll, whose dialogs come from norvmonui.dll in the user's\n"
              L"process), before it the legacy norvmon.dll.\n"
              L"This is the " + std::wstring(kArchitecture) + L" build: it registers the monitor for the \"" +
                  kEnvironment + L"\" environment.\n"
              L"\n"
              L"Commands:\n"
              L"  install [--legacy|--modern] [DLL]\n"
              L"                 copy the monitor's DLLs (from beside norvinst.exe, or the file DLL)\n"
              L"                 into the system directory and register \"NORV Monitor\"; the flags\n"
              L"                 choose the form, and the ports are kept when one form replaces the other\n"
              L"  uninstall      unregister \"NORV Monitor\" and delete its DLLs, whichever form\n"
              L"  status         show whether the monitor is registered and its DLL present\n"
              L"  ports          list the spooler's ports with their monitor and description\n"
              L"  add-port DIR...  add each folder DIR (C:\\Out\\Scans, \\\\server\\share\\Out) as a port\n"
              L"                 of \"NORV Monitor\"\n"
              L"  remove-port PORT...  remove each port (modern form; the legacy form removes ports\n"
              L"                 from a printer's port page)\n"
              L"  help           show this text\n"
              L"\n"
              L"Exit codes:\n"
              L"  0  success (status: installed)\n"
              L"  1  bad command line\n"
              L"  2  the DLL could not be found, read, copied or deleted, or is for another architecture\n"
              L"  3  the spooler refused the request or could not be asked\n"
              L"  4  the monitor is not installed (status, uninstall)\n"
              L"  5  status: the monitor is registered but its DLL is missing, or the other way round\n"
              L"  6  uninstall: the DLL is still in use and will be deleted at the next restart\n"
              L"  7  add-port, remove-port: at least one was refused (each is reported with its error)\n"
              L"  8  remove-port: the legacy form is installed, which removes ports only from the port page\n");
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    if (argc < 2) {
        Usage(GetStdHandle(STD_ERROR_HANDLE));
        return kExitUsage;
    }
    std::wstring command = argv[1];
    if (command == L"help" || command == L"-h" || command == L"--help" || command == L"/?") {
        Usage(GetStdHandle(STD_OUTPUT_HANDLE));
        return kExitOk;
    }
    if (command == L"install") {
        const Form* form = nullptr;
        int next = 2;
        if (argc > next && (std::wstring(argv[next]) == L"--legacy" || std::wstring(argv[next]) == L"--modern"))
            form = std::wstring(argv[next++]) == L"--modern" ? &kModern : &kLegacy;
        if (argc == next) return Install(form, nullptr);
        if (argc == next + 1 && argv[next][0] != L'-') {
            std::wstring source = argv[next];
            return Install(form, &source);
        }
    }
    if (command == L"add-port" && argc >= 3) return AddPorts(argc - 2, argv + 2);
    if (command == L"remove-port" && argc >= 3) return RemovePorts(argc - 2, argv + 2);
    if (argc == 2) {
        if (command == L"uninstall") return Uninstall();
        if (command == L"status") return Status();
        if (command == L"ports") return Ports();
    }
    if (command == L"install" || command == L"uninstall" || command == L"status" || command == L"ports") {
        Err(L"too many arguments for \"%ls\"", command.c_str());
    } else if (command == L"add-port") {
        Err(L"\"add-port\" needs at least one folder");
    } else if (command == L"remove-port") {
        Err(L"\"remove-port\" needs at least one port");
    } else {
        Err(L"unknown command \"%ls\"", command.c_str());
    }
    Usage(GetStdHandle(STD_ERROR_HANDLE));
    return kExitUsage;
}
