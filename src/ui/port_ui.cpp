// The modern monitor's dialogs (norvmonui.dll). The spooler loads this DLL in
// the process of the user who adds, configures or deletes a port, so its
// windows are seen; it reaches the monitor only through the spooler's Xcv
// calls. A null owner window means no dialog may be shown. What the user
// cancels, and what this DLL does not do (another machine's ports, configuring
// a port), fails with ERROR_CANCELLED, as the spooler's client expects; a name
// that names no monitor or port of ours fails as Windows' own UI DLL fails it,
// before any dialog.
#include "ui/exports.h"

#include "admin/port_dialogs.h"
#include "admin/port_name.h"
#include "monitor/state.h"
#include "strings/texts.h"
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

// An Xcv connection through the local spooler to the monitor `monitor`
// names, closed with the scope.
class MonitorConnection {
public:
    MonitorConnection(LPCWSTR monitor, ACCESS_MASK access) {
        WCHAR name[kPortStringUnits];
        if (WideLength(kXcvPrefix) + WideLength(monitor) >= kPortStringUnits) {
            error_ = ERROR_INVALID_PRINTER_NAME;
            return;
        }
        WideCopy(name, kPortStringUnits, kXcvPrefix);
        WideAppend(name, kPortStringUnits, monitor);
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
        if (!OpenPrinterW(name, &handle_, &defaults)) {
            // A refusal is never reported as success, whatever the spooler set.
            const DWORD error = GetLastError();
            error_ = error ? error : ERROR_INVALID_PRINTER_NAME;
            handle_ = nullptr;
        }
    }
    ~MonitorConnection() {
        if (handle_) ClosePrinter(handle_);
    }
    MonitorConnection(const MonitorConnection&) = delete;
    MonitorConnection& operator=(const MonitorConnection&) = delete;

    // ERROR_SUCCESS once open, else why the spooler refused it.
    DWORD OpenError() const { return handle_ ? ERROR_SUCCESS : error_; }

    // The monitor's status for `command` with `name` as input; its output,
    // if any, in `out`.
    DWORD Send(LPCWSTR command, LPCWSTR name, DWORD* out = nullptr) {
        if (!handle_) return error_;
        DWORD needed = 0;
        DWORD status = ERROR_SUCCESS;
        if (!XcvDataW(handle_, command,
                      reinterpret_cast<PBYTE>(const_cast<LPWSTR>(name)),
                      (WideLength(name) + 1) * sizeof(WCHAR), reinterpret_cast<PBYTE>(out),
                      out ? sizeof(*out) : 0, &needed, &status)) {
            const DWORD error = GetLastError();
            return error ? error : ERROR_NOT_SUPPORTED;
        }
        return status;
    }

private:
    HANDLE handle_ = nullptr;
    DWORD error_ = ERROR_INVALID_HANDLE;
};

// A copy of `s` that the caller frees with GlobalFree, as callers of
// Windows' own UI DLL free the name it hands back; null without memory.
LPWSTR GlobalCopyString(LPCWSTR s) {
    const DWORD units = WideLength(s) + 1;
    auto* copy = static_cast<LPWSTR>(GlobalAlloc(GMEM_FIXED, units * sizeof(WCHAR)));
    if (copy) WideCopy(copy, units, s);
    return copy;
}

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
void TellFailure(HWND owner, DWORD error, UINT caption) {
    if (error == ERROR_ACCESS_DENIED) {
        Tell(owner, IDS_ACCESS_DENIED_TEXT, caption);
        return;
    }
    WCHAR text[kMessageUnits];
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                        0, text, kMessageUnits, nullptr)) {
        WCHAR digits[11];
        FormatDecimal(error, digits);
        FormatText(IDS_ERROR_NUMBER_TEXT, text, kMessageUnits, digits);
    }
    Tell(owner, text, caption);
}

BOOL WINAPI AddPortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszMonitorNameIn,
                      PWSTR* ppszPortNameOut) {
    if (ppszPortNameOut) *ppszPortNameOut = nullptr;
    if (!pszMonitorNameIn || !pszMonitorNameIn[0]) return Fail(ERROR_INVALID_PRINTER_NAME);
    if (IsRemote(pszServer)) return Fail(ERROR_CANCELLED);
    // The monitor named is opened before any dialog: the spooler refuses a
    // name it does not know, and a monitor it knows may not be ours. The
    // handle, with the right to add, serves the add below.
    MonitorConnection monitor(pszMonitorNameIn, SERVER_ACCESS_ADMINISTER);
    const bool ours = WideEqualNoCase(pszMonitorNameIn, kMonitorName);
    if (const DWORD refused = monitor.OpenError()) {
        // Told before the user picks a folder that could not be added.
        if (ours && hWnd && refused == ERROR_ACCESS_DENIED)
            TellFailure(hWnd, refused, IDS_NOT_ADDED_CAPTION);
        return Fail(refused);
    }
    if (!ours) return Fail(ERROR_INVALID_PRINTER_NAME);
    // The folder is asked for in a dialog; with no window there is none.
    if (!hWnd) return Fail(ERROR_CANCELLED);

    WCHAR picked[kPortStringUnits];
    const DWORD refused = ChooseFolder(hWnd, picked);
    if (refused != ERROR_SUCCESS) return Fail(refused);
    // The spooler records the name sent, and the monitor takes only the name
    // it stores.
    WCHAR path[kPortStringUnits];
    const DWORD invalid = CanonicalPortName(picked, path);
    if (invalid != ERROR_SUCCESS) {
        TellFailure(hWnd, invalid, IDS_NOT_ADDED_CAPTION);
        return Fail(invalid);
    }
    if (SpoolerListsPort(path)) {
        TellTaken(hWnd);
        return Fail(ERROR_ALREADY_EXISTS);
    }
    // Made before the port is, so that a port added is always reported.
    LPWSTR name = nullptr;
    if (ppszPortNameOut && !(name = GlobalCopyString(path))) {
        TellFailure(hWnd, ERROR_NOT_ENOUGH_MEMORY, IDS_NOT_ADDED_CAPTION);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }

    const DWORD status = monitor.Send(TEXT("AddPort"), path);
    if (status != ERROR_SUCCESS) {
        if (name) GlobalFree(name);
        if (status == ERROR_ALREADY_EXISTS) TellTaken(hWnd);
        else TellFailure(hWnd, status, IDS_NOT_ADDED_CAPTION);
        return Fail(status);
    }
    if (ppszPortNameOut) *ppszPortNameOut = name;
    return TRUE;
}

// A port has nothing to configure: for a port of ours the box says so, and
// nothing is changed. Whether it is ours is asked of the monitor ("PortExists")
// rather than by opening ",XcvPort <name>": Wine 8's spooler looks a port's
// monitor up in registry subkeys that this monitor does not keep, so it cannot
// open that handle for our ports.
BOOL WINAPI ConfigurePortUI(PCWSTR pName, HWND hWnd, PCWSTR pszPortName) {
    if (IsRemote(pName)) return Fail(ERROR_CANCELLED);
    if (!pszPortName || !pszPortName[0]) return Fail(ERROR_UNKNOWN_PORT);
    DWORD exists = 0;
    MonitorConnection monitor(kMonitorName, SERVER_ACCESS_ENUMERATE);
    const DWORD status = monitor.Send(TEXT("PortExists"), pszPortName, &exists);
    // A name too long for any port of ours is no port of ours.
    if (status == ERROR_INVALID_NAME || (status == ERROR_SUCCESS && !exists))
        return Fail(ERROR_UNKNOWN_PORT);
    if (status != ERROR_SUCCESS) return Fail(status);
    if (hWnd) TellNotConfigurable(hWnd);
    return Fail(ERROR_CANCELLED);
}

BOOL WINAPI DeletePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName) {
    if (IsRemote(pszServer)) return Fail(ERROR_CANCELLED);
    if (!pszPortName || !pszPortName[0]) return Fail(ERROR_INVALID_PARAMETER);
    // A printer left on a removed port prints nowhere: the spooler's own
    // deletion refuses that with ERROR_BUSY, and so does this one.
    WCHAR printer[kPortStringUnits];
    DWORD status = CheckNoPrinterUses(pszPortName, printer);
    if (status == ERROR_SUCCESS) status = MonitorConnection(kMonitorName, SERVER_ACCESS_ADMINISTER)
                     .Send(TEXT("DeletePort"), pszPortName);
    if (hWnd) {
        if (status == ERROR_SUCCESS) TellRemoved(hWnd, pszPortName);
        else if (status == ERROR_BUSY) TellInUse(hWnd, pszPortName, printer);
        else if (status == ERROR_ACCESS_DENIED) TellFailure(hWnd, status, IDS_ERROR);
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
