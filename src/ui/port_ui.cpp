// The modern monitor's dialogs (norvmonui.dll). The spooler loads this DLL in
// the process of the user who adds, configures or deletes a port, so its
// windows are seen; it reaches the monitor only through the spooler's Xcv
// calls. A null owner window means no dialog may be shown. What the user
// cancels, and what this DLL does not do (another machine's ports, configuring
// a port), fails with ERROR_CANCELLED, as the spooler's client expects.
#include "ui/exports.h"

#include "admin/port_dialogs.h"
#include "admin/port_name.h"
#include "common/heap.h"
#include "monitor/state.h"
#include "ui/port_users.h"

namespace {

constexpr WCHAR kXcvPrefix[] = TEXT(",XcvMonitor ");
constexpr DWORD kMessageUnits = 512;

// Any server but this machine, which is no name or "\\" and its own name in
// any case. A name that cannot be read makes every server remote.
bool IsRemote(PCWSTR server) {
    if (!server || !server[0]) return false;
    WCHAR local[MAX_COMPUTERNAME_LENGTH + 3] = {'\\', '\\'};
    DWORD units = MAX_COMPUTERNAME_LENGTH + 1;
    return !GetComputerNameW(local + 2, &units) || !WideEqualNoCase(server, local);
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// An Xcv connection to the monitor through the local spooler, closed with
// the scope.
class MonitorConnection {
public:
    MonitorConnection() {
        WCHAR name[64];
        WideCopy(name, 64, kXcvPrefix);
        WideAppend(name, 64, kMonitorName);
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
        if (!OpenPrinterW(name, &handle_, &defaults)) {
            error_ = GetLastError();
            handle_ = nullptr;
        }
    }
    ~MonitorConnection() {
        if (handle_) ClosePrinter(handle_);
    }
    MonitorConnection(const MonitorConnection&) = delete;
    MonitorConnection& operator=(const MonitorConnection&) = delete;

    // The monitor's status for `command` with `name` as input.
    DWORD Send(LPCWSTR command, LPCWSTR name) {
        if (!handle_) return error_ ? error_ : ERROR_INVALID_HANDLE;
        DWORD needed = 0;
        DWORD status = ERROR_SUCCESS;
        if (!XcvDataW(handle_, command,
                      reinterpret_cast<PBYTE>(const_cast<LPWSTR>(name)),
                      (WideLength(name) + 1) * sizeof(WCHAR), nullptr, 0, &needed, &status))
            return GetLastError();
        return status;
    }

private:
    HANDLE handle_ = nullptr;
    DWORD error_ = ERROR_SUCCESS;
};

// True when the spooler lists a port of that name, under any monitor. A
// failed listing says no: the monitor checks again before it adds.
bool SpoolerListsPort(LPCWSTR name) {
    DWORD needed = 0;
    DWORD returned = 0;
    if (EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    LPBYTE buffer = static_cast<LPBYTE>(HeapAlloc(GetProcessHeap(), 0, needed));
    if (!buffer) return false;
    bool listed = false;
    if (EnumPortsW(nullptr, 1, buffer, needed, &needed, &returned)) {
        const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer);
        for (DWORD i = 0; i < returned && !listed; ++i)
            listed = ports[i].pName && WideEqualNoCase(name, ports[i].pName);
    }
    HeapFree(GetProcessHeap(), 0, buffer);
    return listed;
}

// The box for a failed change: access denied in plain words, anything else
// in the system's words for the code.
void TellFailure(HWND owner, DWORD error, LPCWSTR caption) {
    if (error == ERROR_ACCESS_DENIED) {
        Tell(owner,
             TEXT("You are not allowed to change the ports of this computer.\n\nPlease ask an "
                  "administrator."),
             caption);
        return;
    }
    WCHAR text[kMessageUnits];
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                        0, text, kMessageUnits, nullptr)) {
        WCHAR digits[11];
        FormatDecimal(error, digits);
        WideCopy(text, kMessageUnits, TEXT("Error "));
        WideAppend(text, kMessageUnits, digits);
    }
    Tell(owner, text, caption);
}

BOOL WINAPI AddPortUI(PCWSTR pszServer, HWND hWnd, PCWSTR, PWSTR* ppszPortNameOut) {
    if (ppszPortNameOut) *ppszPortNameOut = nullptr;
    if (IsRemote(pszServer)) return Fail(ERROR_CANCELLED);
    // The folder is asked for in a dialog; with no window there is none.
    if (!hWnd) return Fail(ERROR_CANCELLED);

    WCHAR picked[kPortStringUnits];
    if (!ChooseFolder(hWnd, picked)) return Fail(ERROR_CANCELLED);
    // The spooler records the name sent, and the monitor takes only the name
    // it stores.
    WCHAR path[kPortStringUnits];
    const DWORD invalid = CanonicalPortName(picked, path);
    if (invalid != ERROR_SUCCESS) {
        TellFailure(hWnd, invalid, TEXT("Port not added"));
        return Fail(invalid);
    }
    if (SpoolerListsPort(path)) {
        TellTaken(hWnd);
        return Fail(ERROR_ALREADY_EXISTS);
    }
    // Made before the port is, so that a port added is always reported.
    LPWSTR name = nullptr;
    if (ppszPortNameOut && !(name = HeapCopyString(path))) {
        TellFailure(hWnd, ERROR_NOT_ENOUGH_MEMORY, TEXT("Port not added"));
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }

    const DWORD status = MonitorConnection().Send(TEXT("AddPort"), path);
    if (status != ERROR_SUCCESS) {
        HeapFreeString(name);
        if (status == ERROR_ALREADY_EXISTS) TellTaken(hWnd);
        else TellFailure(hWnd, status, TEXT("Port not added"));
        return Fail(status);
    }
    if (ppszPortNameOut) *ppszPortNameOut = name;
    return TRUE;
}

// A port has nothing to configure: the box says so, and nothing is changed.
BOOL WINAPI ConfigurePortUI(PCWSTR pName, HWND hWnd, PCWSTR) {
    if (hWnd && !IsRemote(pName)) TellNotConfigurable(hWnd);
    return Fail(ERROR_CANCELLED);
}

BOOL WINAPI DeletePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName) {
    if (IsRemote(pszServer)) return Fail(ERROR_CANCELLED);
    if (!pszPortName || !pszPortName[0]) return Fail(ERROR_INVALID_PARAMETER);
    // A printer left on a removed port prints nowhere: the spooler's own
    // deletion refuses that with ERROR_BUSY, and so does this one.
    WCHAR printer[kPortStringUnits];
    DWORD status = CheckNoPrinterUses(pszPortName, printer);
    if (status == ERROR_SUCCESS) status = MonitorConnection().Send(TEXT("DeletePort"), pszPortName);
    if (hWnd) {
        if (status == ERROR_SUCCESS) TellRemoved(hWnd, pszPortName);
        else if (status == ERROR_BUSY) TellInUse(hWnd, pszPortName, printer);
        else if (status == ERROR_ACCESS_DENIED) TellFailure(hWnd, status, TEXT("Error"));
        else TellNotRemoved(hWnd);
    }
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

const MONITORUI monitorUi = {
    sizeof(MONITORUI),
    AddPortUI,
    ConfigurePortUI,
    DeletePortUI,
};

}  // namespace

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI(VOID) {
    return const_cast<PMONITORUI>(&monitorUi);
}
