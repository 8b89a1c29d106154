// The table InitializePrintMonitor2 hands the spooler, as Windows XP and
// later read it: MONITOR2 up to pfnShutdown, then the bidirectional-data
// slot and the three slots Windows 8 added. Declared here rather than taken
// from the SDK's MONITOR2, which ends at a different slot depending on the
// Windows version a build targets.
#pragma once

#include <stddef.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

struct ModernTable {
    DWORD cbSize;
    decltype(MONITOR2::pfnEnumPorts) pfnEnumPorts;
    decltype(MONITOR2::pfnOpenPort) pfnOpenPort;
    decltype(MONITOR2::pfnOpenPortEx) pfnOpenPortEx;
    decltype(MONITOR2::pfnStartDocPort) pfnStartDocPort;
    decltype(MONITOR2::pfnWritePort) pfnWritePort;
    decltype(MONITOR2::pfnReadPort) pfnReadPort;
    decltype(MONITOR2::pfnEndDocPort) pfnEndDocPort;
    decltype(MONITOR2::pfnClosePort) pfnClosePort;
    decltype(MONITOR2::pfnAddPort) pfnAddPort;
    decltype(MONITOR2::pfnAddPortEx) pfnAddPortEx;
    decltype(MONITOR2::pfnConfigurePort) pfnConfigurePort;
    decltype(MONITOR2::pfnDeletePort) pfnDeletePort;
    decltype(MONITOR2::pfnGetPrinterDataFromPort) pfnGetPrinterDataFromPort;
    decltype(MONITOR2::pfnSetPortTimeOuts) pfnSetPortTimeOuts;
    decltype(MONITOR2::pfnXcvOpenPort) pfnXcvOpenPort;
    decltype(MONITOR2::pfnXcvDataPort) pfnXcvDataPort;
    decltype(MONITOR2::pfnXcvClosePort) pfnXcvClosePort;
    decltype(MONITOR2::pfnShutdown) pfnShutdown;
    // Not served: null.
    void* pfnSendRecvBidiDataFromPort;
    void* pfnNotifyUsedPorts;
    void* pfnNotifyUnusedPorts;
    void* pfnPowerEvent;
};

// Slots in the whole table, and in the one Windows 2000 reads (up to
// pfnShutdown).
constexpr size_t kModernSlots = 22;
constexpr size_t kWin2000Slots = 18;

// cbSize on Windows 2000: MONITOR2_SIZE_WIN2K with the padding that 64-bit
// builds put after cbSize, so that no pointer is cut in half by a spooler
// that copies cbSize bytes.
constexpr DWORD kWin2000TableSize =
    DWORD(offsetof(ModernTable, pfnShutdown) + sizeof(void*));
constexpr DWORD kWholeTableSize = DWORD(sizeof(ModernTable));
