// The UI DLL's answers to the names it is given, one table for the native
// suite (over the layer's spooler) and for the suite under Wine's spooler.
// Windows' own UI DLL fails a name that names no monitor or no port with
// ERROR_UNKNOWN_PORT or ERROR_INVALID_PRINTER_NAME and shows nothing; what
// it is asked for and will not do fails with ERROR_CANCELLED.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

namespace port_ui_cases {

enum class Call { kAddPortUi, kConfigurePortUi };
// The owner windows a row is called with: none, the suite's window, or each.
enum Windows { kNoWindow = 1, kWindow = 2, kEither = kNoWindow | kWindow };
// The spooler's own refusal of a monitor it does not know, passed on: Wine
// answers ERROR_UNKNOWN_PORT, the layer ERROR_INVALID_PRINTER_NAME.
constexpr DWORD kSpoolerRefuses = 0;

struct Case {
    const char* what;
    Call call;
    LPCWSTR server;
    LPCWSTR name;  // the monitor's name for AddPortUI, the port's for ConfigurePortUI
    int windows;
    DWORD error;   // the last error; every row answers FALSE
    bool box;      // with a window, the one box "This port cannot be configured."
};

inline const Case kCases[] = {
    {"add: no monitor name", Call::kAddPortUi, nullptr, nullptr, kEither, ERROR_INVALID_PRINTER_NAME, false},
    {"add: empty monitor name", Call::kAddPortUi, nullptr, TEXT(""), kEither, ERROR_INVALID_PRINTER_NAME, false},
    {"add: unknown monitor", Call::kAddPortUi, nullptr, TEXT("does_not_exist"), kEither, kSpoolerRefuses, false},
    {"add: another monitor", Call::kAddPortUi, nullptr, TEXT("Local Port"), kEither, ERROR_INVALID_PRINTER_NAME,
     false},
    {"add: ours, no window", Call::kAddPortUi, nullptr, TEXT("NORV Monitor"), kNoWindow, ERROR_CANCELLED, false},
    {"add: ours, another server", Call::kAddPortUi, TEXT("\\\\elsewhere"), TEXT("NORV Monitor"), kEither,
     ERROR_CANCELLED, false},
    {"configure: no port name", Call::kConfigurePortUi, nullptr, nullptr, kEither, ERROR_UNKNOWN_PORT, false},
    {"configure: empty port name", Call::kConfigurePortUi, nullptr, TEXT(""), kEither, ERROR_UNKNOWN_PORT, false},
    {"configure: unknown port", Call::kConfigurePortUi, nullptr, TEXT("does_not_exist"), kEither,
     ERROR_UNKNOWN_PORT, false},
    {"configure: absent serial port", Call::kConfigurePortUi, nullptr, TEXT("COM9:"), kEither, ERROR_UNKNOWN_PORT,
     false},
    {"configure: another monitor's port", Call::kConfigurePortUi, nullptr, TEXT("LPT1:"), kEither,
     ERROR_UNKNOWN_PORT, false},
    {"configure: ours", Call::kConfigurePortUi, nullptr, TEXT("NORV"), kWindow, ERROR_CANCELLED, true},
    {"configure: ours, no window", Call::kConfigurePortUi, nullptr, TEXT("NORV"), kNoWindow, ERROR_CANCELLED,
     false},
    {"configure: ours, another server", Call::kConfigurePortUi, TEXT("\\\\elsewhere"), TEXT("NORV"), kEither,
     ERROR_CANCELLED, false},
};

// Whether the row is called with `owner` (null: no window).
inline bool CalledWith(const Case& c, HWND owner) { return (c.windows & (owner ? kWindow : kNoWindow)) != 0; }

// The row's call with `owner`; AddPortUI's name goes to `added`.
inline BOOL Invoke(const MONITORUI& ui, const Case& c, HWND owner, PWSTR* added) {
    return c.call == Call::kAddPortUi ? ui.pfnAddPortUI(c.server, owner, c.name, added)
                                      : ui.pfnConfigurePortUI(c.server, owner, c.name);
}

// The row's last error was answered.
inline bool Answers(const Case& c, DWORD error) {
    if (c.error != kSpoolerRefuses) return error == c.error;
    return error == ERROR_UNKNOWN_PORT || error == ERROR_INVALID_PRINTER_NAME;
}

}  // namespace port_ui_cases
